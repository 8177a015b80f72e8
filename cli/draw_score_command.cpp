#include "cli/draw_score_command.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <QGuiApplication>

#include "cli/batch_commands.h"
#include "cli/exit_status.h"
#include "files/atomic_file.h"
#include "files/midi_events.h"
#include "roll/roll_images.h"
#include "roll/roll_picture.h"

namespace tarnwick {

namespace {

enum class ImageFormat { Svg, Png };

std::optional<ImageFormat> formatOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    std::string extension(path.substr(dot + 1));
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "svg") {
        return ImageFormat::Svg;
    }
    if (extension == "png") {
        return ImageFormat::Png;
    }
    return std::nullopt;
}

// Text in an image needs a QGuiApplication; without one, a private one runs on
// the offscreen platform, so no display is needed.
std::vector<std::uint8_t> encodePng(const RollPicture& picture) {
    std::unique_ptr<QGuiApplication> ownApplication;
    static int argc = 3;
    static char name[] = "tarnwick";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, platformOption, platform, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        ownApplication = std::make_unique<QGuiApplication>(argc, argv);
    }
    return rollPng(picture);
}

} // namespace

UsageProblem checkDrawScoreOptions(const CommandOptions& options) {
    if (!formatOf(options.outputPath)) {
        return "--draw-score writes .svg or .png, not '" + options.outputPath + "'";
    }
    return std::nullopt;
}

int drawScore(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    // The drum slots are drawn as the export draws them, from the same generator.
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece->settings, piece->score, piece->random);
    const RollPicture picture{soundingNotes(piece->score, piece->settings),
                              drumHitsOf(events, piece->settings.stepMs)};

    const std::vector<std::uint8_t> bytes =
        *formatOf(options.outputPath) == ImageFormat::Svg ? rollSvg(picture) : encodePng(picture);
    if (bytes.empty()) {
        err << "tarnwick: cannot write " << options.outputPath
            << ": the image could not be encoded\n";
        return kExitCannotWrite;
    }
    return reportWrite(writeFileAtomically(options.outputPath, bytes), err);
}

} // namespace tarnwick
