// The dialog's commands over the in-memory panel, a manual step timer and a
// recording output: there is no sound card or window here, and the commands
// themselves do not care which panel or output they drive.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/dialog_commands.h"
#include "composition/canon_generator.h"
#include "files/midi_events.h"
#include "files/midi_file.h"
#include "files/settings_file.h"
#include "playback/manual_step_timer.h"
#include "playback/recording_output.h"
#include "playback/step_player.h"
#include "playback/transport.h"
#include "ui/control_ids.h"
#include "ui/controls_exchange.h"
#include "ui/memory_panel.h"
#include "ui/seed_text.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// Answers the chooser with a prepared path (or a cancel) and records every
// other request of the commands.
class ScriptedHost : public DialogHost {
  public:
    std::optional<fs::path> chooseFile(const FileFilter& filter, std::string_view title,
                                       std::string_view defaultExtension, bool forSaving) override {
        chooserCalls.push_back({std::string(filter.description), std::string(filter.pattern),
                                std::string(title), std::string(defaultExtension), forSaving});
        return nextChoice;
    }
    void showError(std::string_view title, std::string_view message) override {
        errors.push_back(std::string(title) + "|" + std::string(message));
    }
    void setTitle(std::string_view title) override { titles.emplace_back(title); }
    void showAbout() override { ++aboutShown; }
    void endDialog() override { ++ended; }

    struct ChooserCall {
        std::string description, pattern, title, extension;
        bool forSaving;
    };
    std::optional<fs::path> nextChoice;
    std::vector<ChooserCall> chooserCalls;
    std::vector<std::string> errors;
    std::vector<std::string> titles;
    int aboutShown = 0;
    int ended = 0;
};

// An output that also keeps the message times it is given.
class TimedOutput : public RecordingOutput {
  public:
    void setMessageTime(SteadyClock::time_point time) override { times.push_back(time); }
    std::vector<SteadyClock::time_point> times;
};

class DialogCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        records.random.seed(20240611);
        initialiseSession(context);
        folder = fs::temp_directory_path() /
                 ("tarnwick-commands-" +
                  std::to_string(::testing::UnitTest::GetInstance()->current_test_info()->line()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    void run(int command) { runCommand(context, static_cast<std::uint32_t>(command)); }

    void playAndTick(int ticks) {
        run(control::kPlay);
        for (int i = 0; i < ticks; ++i) {
            runTimerTick(context, SteadyClock::now());
        }
    }

    AppRecords records;
    MemoryPanel panel;
    ManualStepTimer timer;
    TimedOutput output;
    ScriptedHost host;
    DialogContext context{records, panel, timer, output, host};
    fs::path folder;
};

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(DialogCommandsTest, CommandsAreRoutedOnTheLowSixteenBitsAndEnterIsIgnored) {
    runCommand(context, 0x00030000u | control::kPlay);
    EXPECT_TRUE(timer.running);

    const std::size_t sent = output.messages.size();
    const SongSettings before = records.settings;
    for (const std::uint32_t ignored : {1u, 0u, 999u, 1028u, 0xFFFFu}) {
        runCommand(context, ignored);
    }
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(output.messages.size(), sent);
    EXPECT_EQ(records.settings, before);
    EXPECT_EQ(host.ended, 0);

    run(command::kAbout);
    EXPECT_EQ(host.aboutShown, 1);
    run(command::kCancel);
    run(0x10000 | command::kExit);
    EXPECT_EQ(host.ended, 2);
}

TEST_F(DialogCommandsTest, TicksCarryTheirIdealTimeToTheOutputBeforeTheStep) {
    run(control::kPlay);
    output.messages.clear();
    output.times.clear();
    const SteadyClock::time_point ideal = SteadyClock::now() - std::chrono::milliseconds(30);

    AppRecords expected = records;
    RecordingOutput expectedOutput;
    playStep(expected.playState, expected.score, expected.settings, expected.random,
             expectedOutput);

    runTimerTick(context, ideal);
    ASSERT_EQ(output.times.size(), 1u);
    EXPECT_EQ(output.times.front(), ideal);
    EXPECT_EQ(output.messages, expectedOutput.messages);
    EXPECT_EQ(records.playState, expected.playState);
}

TEST_F(DialogCommandsTest, SaveWritesWhatTheControlsShowAndNamesTheWindow) {
    panel.writeText(control::kVolume, "120"); // clamped to 90 on reading
    panel.writeText(control::kBeat, "3");
    host.nextChoice = folder / "first.canon.tarn";
    playAndTick(2);

    run(command::kSave);
    ASSERT_EQ(host.chooserCalls.size(), 1u);
    const auto& call = host.chooserCalls.front();
    EXPECT_EQ(call.description, "Tarnwick Files");
    EXPECT_EQ(call.pattern, "*.tarn");
    EXPECT_EQ(call.title, "Save");
    EXPECT_EQ(call.extension, "tarn");
    EXPECT_TRUE(call.forSaving);

    SongSettings saved;
    ASSERT_TRUE(loadSettingsFile((folder / "first.canon.tarn").string(), saved).ok());
    EXPECT_EQ(saved.volume[0], 90);
    EXPECT_EQ(saved.beatLength, 3);
    EXPECT_EQ(saved, records.settings);
    EXPECT_EQ(host.titles, std::vector<std::string>{"first.canon"});
    EXPECT_TRUE(timer.running) << "saving leaves playback running";
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(DialogCommandsTest, AFailedSaveNamesTheFileAndTheReasonAndKeepsTheTitle) {
    const fs::path target = folder / "missing folder" / "song.tarn";
    host.nextChoice = target;
    run(command::kSave);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors.front().find(target.string()), std::string::npos);
    EXPECT_EQ(host.errors.front().rfind("Save|", 0), 0u);
    EXPECT_TRUE(host.titles.empty());
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(DialogCommandsTest, CancelledChoosersChangeNothing) {
    playAndTick(3);
    panel.writeText(control::kVolume + 2, "33"); // an unsaved edit
    const SongSettings settings = records.settings;
    const Score score = records.score;
    const std::size_t sent = output.messages.size();

    host.nextChoice.reset();
    for (const int command : {command::kOpen, command::kSave, command::kSaveMidi}) {
        run(command);
    }
    EXPECT_EQ(host.chooserCalls.size(), 3u);
    EXPECT_EQ(panel.fullText(control::kVolume + 2), "33");
    EXPECT_EQ(records.settings, settings);
    EXPECT_EQ(records.score, score);
    EXPECT_EQ(output.messages.size(), sent);
    EXPECT_TRUE(timer.running);
    EXPECT_TRUE(host.titles.empty());
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(DialogCommandsTest, OpenReplacesTheSettingsOnlyWhenTheWholeFileReads) {
    SongSettings other = records.settings;
    other.volume = {10, 20, 30};
    other.instrument = {5, 6, 7};
    other.reserved[3] = 99;
    const fs::path good = folder / "other.tarn";
    ASSERT_TRUE(saveSettingsFile(good.string(), other).ok());

    // A short file: an error naming it, and nothing changes.
    const fs::path shortFile = folder / "short.tarn";
    std::vector<std::uint8_t> bytes = fileBytes(good);
    bytes.resize(96);
    std::ofstream(shortFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), 96);

    playAndTick(2);
    panel.writeText(control::kRepeat, "7");
    const SongSettings before = records.settings;
    const std::size_t sent = output.messages.size();

    host.nextChoice = shortFile;
    run(command::kOpen);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors.front().rfind("Load|", 0), 0u);
    EXPECT_NE(host.errors.front().find(shortFile.string()), std::string::npos);
    EXPECT_EQ(records.settings, before);
    EXPECT_EQ(panel.fullText(control::kRepeat), "7");
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(output.messages.size(), sent);
    EXPECT_TRUE(host.titles.empty());

    // The whole file: playback stops, the record and every control follow.
    host.nextChoice = good;
    run(command::kOpen);
    EXPECT_EQ(host.chooserCalls.back().title, "Load");
    EXPECT_FALSE(host.chooserCalls.back().forSaving);
    EXPECT_FALSE(timer.running);
    EXPECT_EQ(records.settings, other);
    EXPECT_EQ(panel.fullText(control::kVolume + 1), "20");
    EXPECT_EQ(panel.readSelection(control::kInstrument + 2), 7);
    EXPECT_EQ(panel.fullText(control::kRepeat), "0");
    EXPECT_EQ(host.titles, std::vector<std::string>{"other"});
}

TEST_F(DialogCommandsTest, ExportWritesTheScoreOfTheLastPlayWithTheCurrentControls) {
    playAndTick(4);
    const Score played = records.score;
    // Edits after Play: a new seed is not heard until the next Play, a new
    // volume is.
    panel.writeText(control::kSeed, "1 2 3");
    panel.writeText(control::kVolume, "40");

    AppRecords expected = records;
    readControls(panel, expected.settings);
    const auto events = buildMidiEvents(expected.settings, played, expected.random);
    const fs::path target = folder / "canon.mid";
    ASSERT_TRUE(writeMidiFile((folder / "expected.mid").string(), expected.settings, events).ok());

    host.nextChoice = target;
    run(command::kSaveMidi);
    EXPECT_EQ(host.chooserCalls.back().description, "MIDI Files");
    EXPECT_EQ(host.chooserCalls.back().pattern, "*.mid");
    EXPECT_EQ(host.chooserCalls.back().extension, "mid");
    EXPECT_EQ(fileBytes(target), fileBytes(folder / "expected.mid"));
    EXPECT_EQ(records.score, played);
    EXPECT_EQ(records.settings.volume[0], 40);
    EXPECT_EQ(records.settings.seedCount, 3);
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(host.titles, std::vector<std::string>{"canon"});
}

TEST_F(DialogCommandsTest, AFailedExportNamesTheFile) {
    const fs::path target = folder / "no such folder" / "canon.mid";
    host.nextChoice = target;
    run(command::kSaveMidi);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors.front().find(target.string()), std::string::npos);
    EXPECT_TRUE(host.titles.empty());
}

TEST_F(DialogCommandsTest, EndingTheSessionSilencesTheVoices) {
    playAndTick(1);
    output.messages.clear();
    endSession(context);
    EXPECT_FALSE(timer.running);
    EXPECT_EQ(output.messages, (std::vector<std::uint32_t>{0x0078B0u, 0x0078B1u, 0x0078B2u}));
}

} // namespace
} // namespace tarnwick
