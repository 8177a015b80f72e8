// Choosing another output while the music plays, through the dialog's
// commands: the outputs put together play the performance that a single
// output would have played, apart from the silencing and the set-up.

#include <gtest/gtest.h>

#include "controls/control_ids.h"
#include "controls/memory_panel.h"
#include "midi/recording_output.h"
#include "playback/manual_step_timer.h"
#include "tests/support/message_text.h"
#include "window/output_switch.h"

namespace tarnwick {
namespace {

using testing::messageTexts;
using Texts = std::vector<std::string>;

struct NoHost : DialogHost {
    std::optional<std::filesystem::path> chooseFile(const FileFilter&, std::string_view,
                                                    std::string_view, bool) override {
        return std::nullopt;
    }
    std::optional<FileResult> renderAudio(const std::filesystem::path&, const SongSettings&,
                                          const std::vector<MidiEvent>&) override {
        return std::nullopt;
    }
    void showError(std::string_view, std::string_view) override {}
    void setTitle(std::string_view) override {}
    void showAbout() override {}
    void endDialog() override {}
};

// The dialog's start with a fixed seed, playing into a recording output.
struct Session {
    Session() {
        records.random.seed(99);
        DialogContext start = context();
        initialiseSession(start);
    }
    DialogContext context() { return {records, panel, timer, output, host}; }
    void run(std::uint32_t command) {
        DialogContext now = context();
        runCommand(now, command);
    }
    // Moves the performance to a new recording output, which it returns.
    RecordingOutput& switchTo() {
        auto next = std::make_unique<RecordingOutput>();
        RecordingOutput& added = *next;
        DialogContext now = context();
        left.push_back(switchOutput(now, output, std::move(next)));
        return added;
    }
    void ticks(int count) {
        for (int k = 0; k < count; ++k) {
            DialogContext now = context();
            runTimerTick(now, SteadyClock::now());
        }
    }
    RecordingOutput& first = *new RecordingOutput;
    SwitchableOutput output{std::unique_ptr<MidiOutput>(&first)};
    std::vector<std::unique_ptr<MidiOutput>> left; // kept for the test to read
    AppRecords records;
    MemoryPanel panel;
    ManualStepTimer timer;
    NoHost host;
};

// A note left sounding on a voice channel at the end of `messages` by a
// receiver that ignores All Sound Off, or "".
std::string hangingNote(const Texts& messages) {
    std::map<std::string, std::string> sounding; // channel and key to the note-on
    for (const std::string& m : messages) {
        const std::string key = m.substr(1, 4);
        if (m.starts_with("9") && key < "3" && m.substr(6) != "00") {
            sounding[key] = m;
        } else if (m.starts_with("8") || m.starts_with("9")) {
            sounding.erase(key);
        }
    }
    return sounding.empty() ? "" : sounding.begin()->second;
}

TEST(OutputSwitch, WhilePlayingTheOldOutputIsSilencedAndTheNewOneSetUp) {
    Session single;
    single.run(control::kPlay);
    single.ticks(40);
    single.run(control::kStop);
    const Texts whole = messageTexts(single.first.messages);
    constexpr std::size_t kSetUp = 12;

    Session switched;
    switched.run(control::kPlay);
    switched.ticks(17);
    const auto before = static_cast<std::ptrdiff_t>(switched.first.messages.size());
    RecordingOutput& second = switched.switchTo();
    switched.ticks(23);
    switched.run(control::kStop);

    const Texts old = messageTexts(switched.first.messages);
    const Texts now = messageTexts(second.messages);
    // Voice 2 holds its notes: they sounded until the switch ended them.
    EXPECT_NE(hangingNote(Texts(old.begin(), old.begin() + before)), "");
    EXPECT_EQ(hangingNote(old), "");
    EXPECT_EQ(std::count_if(old.begin() + before, old.end(),
                            [](const std::string& m) { return !m.starts_with("8"); }),
              3); // All Sound Off on the three voice channels, and note-offs
    // The new output gets the set-up of the Play, then the rest of the
    // performance: the counters and the random draws went on undisturbed.
    Texts joined(old.begin(), old.begin() + before);
    EXPECT_EQ(Texts(now.begin(), now.begin() + kSetUp),
              Texts(whole.begin(), whole.begin() + kSetUp));
    joined.insert(joined.end(), now.begin() + kSetUp, now.end());
    EXPECT_EQ(joined, whole);
    EXPECT_EQ(switched.records.playState, single.records.playState);

    // Idle, a switch sends nothing.
    EXPECT_TRUE(switched.switchTo().messages.empty());
    EXPECT_EQ(second.messages.size(), now.size());
}

} // namespace
} // namespace tarnwick
