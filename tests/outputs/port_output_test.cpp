// Outputs chosen by name, and external MIDI ports through RtMidi. This machine
// has no ALSA sequencer and no JACK server; that failing to open a port ends
// in a silent output that says why is checked through `tarnwick --play`.

#include <array>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "outputs/output_factory.h"
#include "outputs/port_output.h"

namespace tarnwick {
namespace {

TEST(PortOutput, AnAlsaClientWithoutTheSequencerFailsWithRtMidisMessage) {
    if (access("/dev/snd/seq", R_OK | W_OK) == 0) {
        GTEST_SKIP() << "this machine has an ALSA sequencer";
    }
    std::string failure;
    EXPECT_EQ(createMidiClient(RtMidi::LINUX_ALSA, failure), nullptr);
    EXPECT_NE(failure.find("ALSA"), std::string::npos) << failure;
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
    const MidiBytes program = midiBytes(packShortMessage(0xC3, 40));
    EXPECT_EQ(program.size, 2u);
    EXPECT_EQ(program.bytes[0], 0xC3);
    EXPECT_EQ(program.bytes[1], 40);
    EXPECT_EQ(midiBytes(packShortMessage(0xD0, 0x7F)).size, 2u);
    EXPECT_EQ(midiBytes(packShortMessage(0x99, 36, 100)).size, 3u);
    EXPECT_EQ(midiBytes(packShortMessage(0x99, 36, 100)).bytes,
              (std::array<unsigned char, 3>{0x99, 36, 100}));
}

} // namespace
} // namespace tarnwick
