// Outputs chosen by name: silence, the trace, and MIDI ports picked by a part
// of their name. This machine has no ALSA sequencer and no JACK server, so no
// port opens here; the bytes a port would be sent are checked on their own.

#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "outputs/output_factory.h"
#include "outputs/port_output.h"

namespace tarnwick {
namespace {

TEST(OutputFactory, OpensEveryKindOfNameAndSaysWhyOneIsSilent) {
    std::ostringstream trace;
    const std::int64_t ticks = 12;
    OutputOptions options;
    options.traceStream = &trace;
    options.ticksPlayed = &ticks;
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"none", true, "No sound: the output is none"},
        {"trace", false, "Trace: every message written to the output"},
        {"port:Tarnwick", true, "No sound: "},
        {"speakers", true, "No sound: there is no output called 'speakers'"}};
    for (const auto& [name, silent, status] : cases) {
        options.name = name;
        auto output = openMidiOutput(options);
        EXPECT_EQ(output->isSilent(), silent) << name;
        EXPECT_TRUE(output->status().starts_with(status)) << output->status();
        output->send(packShortMessage(0x9A, 0x3C, 0x7F));
        output->send(packShortMessage(0xC0, 0x05));
    }
    EXPECT_EQ(trace.str(), "12 9A 3C 7F\n12 C0 05 00\n");
    const std::vector<OutputChoice> choices = listMidiOutputs();
    ASSERT_GE(choices.size(), 2u);
    EXPECT_EQ(choices[choices.size() - 2].name + " " + choices.back().name, "none trace");
}

TEST(PortOutput, ChoosesAPortByFullNameOrAUniquePartAndSendsItsBytes) {
    const std::vector<std::string> ports = {"Midi Through:Midi Through Port-0 14:0",
                                            "FLUID Synth (123):Synth input port (123:0) 128:0",
                                            "Synth"};
    // A full name wins over parts; a part ignores case; -1: none, -2: several.
    const std::pair<const char*, int> chosen[] = {{"Synth", 2}, {"fluid synth", 1}, {"through", 0},
                                                  {"port", -2}, {"Keyboard", -1},   {"", -1}};
    for (const auto& [name, index] : chosen) {
        EXPECT_EQ(choosePort(ports, name), index) << name;
    }
    // Program change and channel pressure have one data byte, the rest two.
    for (const auto& [status, size] : {std::pair{0xC3, 2u}, {0xD0, 2u}, {0x99, 3u}, {0xB0, 3u}}) {
        const MidiBytes bytes =
            midiBytes(packShortMessage(static_cast<std::uint8_t>(status), 40, 9));
        EXPECT_EQ(bytes.size, size) << status;
        EXPECT_EQ(bytes.bytes,
                  (std::array<unsigned char, 3>{static_cast<unsigned char>(status), 40, 9}));
    }
}

} // namespace
} // namespace tarnwick
