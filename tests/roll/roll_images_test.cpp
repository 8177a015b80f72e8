// The piano roll as image files, drawn directly and through --draw-score.

#include <map>
#include <sstream>

#include <QImage>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/session_setup.h"
#include "composition/random.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "files/midi_events.h"
#include "files/settings_file.h"
#include "roll/roll_drawing.h"
#include "roll/roll_images.h"
#include "roll/roll_picture.h"
#include "tests/support/temp_dir.h"

namespace tarnwick::testing {
namespace {

// The elements of an SVG that stand for notes and drum hits.
RollPicture readSvg(const std::vector<std::uint8_t>& bytes) {
    const std::map<QString, RollLine> lines{{"voice1", RollLine::Voice1},
                                            {"voice2", RollLine::Voice2},
                                            {"harmony", RollLine::Harmony},
                                            {"voice3", RollLine::Voice3}};
    RollPicture picture;
    QXmlStreamReader xml(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<qsizetype>(bytes.size())));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes a = xml.attributes();
        const auto number = [&](const char* name) { return a.value(name).toInt(); };
        if (a.value("data-line") == QLatin1String("drums")) {
            picture.drumHits.push_back({number("data-step"), number("data-note")});
        } else if (a.hasAttribute("data-line")) {
            picture.notes.push_back({lines.at(a.value("data-line").toString()), number("data-step"),
                                     number("data-length"), number("data-note")});
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return picture;
}

// Runs --draw-score on a worked example; returns what the export says to draw.
RollPicture drawWorkedExample(const TempDir& dir, const std::string& output) {
    SongSettings settings{
        .seedCount = 2, .seed = {2, -1}, .beatLength = 3, .repeatLength = 1, .harmonyOffset = 3};
    settings.lowOctave = {1, 1, 1};
    settings.highOctave = {10, 10, 10};
    settings.voiceOffset = {24, 12, 0};
    settings.drumKit = {10, 12, 0, 14, 20, 30, 40, 50};
    const std::string tarn = dir.file("canon.tarn");
    EXPECT_TRUE(saveSettingsFile(tarn, settings).ok());
    std::ostringstream out, err;
    const std::vector<std::string_view> arguments{"--draw-score", output,        "--settings",
                                                  tarn,           "--rand-seed", "99"};
    EXPECT_EQ(runCommandLine(arguments, out, err), 0) << err.str();

    RandomGenerator random(99);
    Score score;
    EXPECT_TRUE(prepareSession(random, settingsFileLoader(tarn), settings, score).ok());
    RollPicture expected{soundingNotes(score, settings), {}};
    for (const MidiEvent& e : buildMidiEvents(settings, score, random)) {
        if ((e.message & 0xFF) == 0x99) { // the export's drum hits
            expected.drumHits.push_back({static_cast<int>(e.timeMs / settings.stepMs),
                                         static_cast<int>((e.message >> 8) & 0xFF)});
        }
    }
    return expected;
}

TEST(DrawScore, SvgAndPngShowTheScoreAndTheExportedDrumHits) {
    TempDir dir;
    const std::string svg = dir.file("canon.SVG");
    const RollPicture expected = drawWorkedExample(dir, svg);
    const RollPicture read = readSvg(readBytes(svg));
    EXPECT_EQ(read.notes, expected.notes);
    EXPECT_EQ(read.drumHits, expected.drumHits);
    EXPECT_GT(read.drumHits.size(), 200u);

    // Each PNG cell shows the colour of the line on top, or none where all rest,
    // sampled on its last pixel row, where an octave line runs under the notes.
    const std::string png = dir.file("canon.png");
    drawWorkedExample(dir, png);
    const QImage image(QString::fromStdString(png));
    ASSERT_GE(image.width(), 1200);
    const RollLayout layout = imageLayout(expected);
    std::map<std::pair<int, int>, RollLine> top;
    for (const RollNote& n : expected.notes) {
        for (int step = n.step; step < n.step + n.length; ++step) {
            top.insert_or_assign({step, n.note}, n.line);
        }
    }
    const auto pixel = [&](const Rect& r) {
        const QColor c = image.pixelColor(static_cast<int>(r.x + r.width / 2),
                                          static_cast<int>(r.y + r.height - 0.5));
        return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                   static_cast<std::uint8_t>(c.blue())};
    };
    int resting = 0;
    for (int note = layout.pitchSpan().low; note <= layout.pitchSpan().high; ++note) {
        for (int step = 0; step < kStepCount; ++step) {
            const Rgb shown = pixel(layout.noteRect(step, 1, note));
            const auto found = top.find({step, note});
            if (found != top.end()) {
                ASSERT_EQ(shown, lineColour(found->second)) << step << " " << note;
                continue;
            }
            ++resting;
            for (const RollLine line : kRollLines) {
                ASSERT_NE(shown, lineColour(line)) << step << " " << note;
            }
        }
    }
    EXPECT_GT(resting, 1000);
    for (const DrumHit& hit : expected.drumHits) {
        EXPECT_EQ(pixel(layout.laneCell(hit.step)), kDrumColour) << hit.step;
    }
}

} // namespace
} // namespace tarnwick::testing
