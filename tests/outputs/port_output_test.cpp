// External MIDI ports through RtMidi. This machine has no ALSA sequencer and
// no JACK server, so what is tested here is that every way of failing ends
// in a clean silent output with a reason, and the pure parts.

#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "playback/outputs/output_factory.h"
#include "playback/outputs/port_output.h"
#include "tests/outputs/midi_messages.h"

namespace tarnwick::testing {
namespace {

bool hasAlsaSequencer() {
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

TEST(PortOutput, AnAlsaClientWithoutTheSequencerFailsWithRtMidisMessage) {
    if (hasAlsaSequencer()) {
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    std::string failure;
    EXPECT_EQ(createMidiClient(RtMidi::LINUX_ALSA, failure), nullptr);
    EXPECT_NE(failure.find("ALSA"), std::string::npos) << failure;
}

TEST(PortOutput, AnUnknownPortGivesASilentOutputThatSaysWhy) {
    OutputOptions options;
    options.name = "port:No Such Port 4f3a";
    auto output = openMidiOutput(options);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->isSilent());
    EXPECT_TRUE(output->status().starts_with("No sound: ")) << output->status();
    output->send(noteOn(0, 60, 100)); // does nothing, harmlessly
    closeMidiOutput(output);
    EXPECT_EQ(output, nullptr);
}

TEST(PortOutput, ChoosesAPortByFullNameOrByAUniquePart) {
    const std::vector<std::string> ports = {"Midi Through:Midi Through Port-0 14:0",
                                            "FLUID Synth (123):Synth input port (123:0) 128:0",
                                            "Synth"};
    EXPECT_EQ(choosePort(ports, "Synth"), 2); // a full name wins over parts
    EXPECT_EQ(choosePort(ports, "fluid synth"), 1);
    EXPECT_EQ(choosePort(ports, "through"), 0);
    EXPECT_EQ(choosePort(ports, "port"), -2); // several
    EXPECT_EQ(choosePort(ports, "Keyboard"), -1);
    EXPECT_EQ(choosePort(ports, ""), -1);
}

TEST(PortOutput, SendsTwoBytesForProgramAndChannelPressureAndThreeOtherwise) {
    const MidiBytes program = midiBytes(programChange(3, 40));
    EXPECT_EQ(program.size, 2u);
    EXPECT_EQ(program.bytes[0], 0xC3);
    EXPECT_EQ(program.bytes[1], 40);
    EXPECT_EQ(midiBytes(0x00007FD0u).size, 2u);
    const MidiBytes note = midiBytes(noteOn(9, 36, 100));
    EXPECT_EQ(note.size, 3u);
    EXPECT_EQ(note.bytes[2], 100);
}

TEST(OutputFactory, NoneAndUnknownNamesAreSilentWithAReason) {
    OutputOptions options;
    options.name = "none";
    auto none = openMidiOutput(options);
    EXPECT_TRUE(none->isSilent());
    EXPECT_EQ(none->status(), "No sound: the output is none");
    options.name = "speakers";
    auto unknown = openMidiOutput(options);
    EXPECT_TRUE(unknown->isSilent());
    EXPECT_EQ(unknown->status(), "No sound: there is no output called 'speakers'");
}

TEST(OutputFactory, ListsWhatCanBeOpenedEndingWithNoneAndTrace) {
    const std::vector<OutputChoice> choices = listMidiOutputs();
    ASSERT_GE(choices.size(), 2u);
    EXPECT_EQ(choices[choices.size() - 2].name, "none");
    EXPECT_EQ(choices.back().name, "trace");
    for (const OutputChoice& choice : choices) {
        EXPECT_TRUE(isOutputName(choice.name)) << choice.name;
    }
}

} // namespace
} // namespace tarnwick::testing
