// Outputs chosen by name, and what MIDI ports are handed and when.

#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "midi/midi_bytes.h"
#include "outputs/output_factory.h"
#include "ports/jack_time_map.h"
#include "ports/port_output.h"
#include "scheduling/timed_message_order.h"
#include "tests/support/message_text.h"

namespace tarnwick {
namespace {

TEST(OutputFactory, OpensEveryKindOfNameAndSaysWhyOneIsSilent) {
    std::ostringstream trace;
    const std::int64_t ticks = 12;
    OutputOptions options;
    options.traceStream = &trace;
    options.ticksPlayed = &ticks;
    // No port is called Tarnwick (or there is no MIDI system): silent, for a reason.
    const std::pair<std::string, std::optional<OutputState>> cases[] = {
        {"none", OutputState::silent(OutputCause::OutputNone)},
        {"trace", OutputState::playing(OutputPath::Trace, {})},
        {"port:Tarnwick", std::nullopt},
        {"speakers", OutputState::silent(OutputCause::NoSuchOutput, "speakers")}};
    for (const auto& [name, state] : cases) {
        options.name = name;
        auto output = openMidiOutput(options);
        const OutputState now = output->state();
        EXPECT_EQ(output->isSilent(), now.kind == OutputState::Kind::Silent) << name;
        EXPECT_TRUE(state ? now == *state : now.cause != OutputCause::None) << statusLine(now);
        output->send(packShortMessage(0x9A, 0x3C, 0x7F));
        output->send(packShortMessage(0xC0, 0x05));
    }
    EXPECT_EQ(trace.str(), "12 9A 3C 7F\n12 C0 05 00\n");
}

TEST(OutputFactory, ListsFromOneTableTheCommandLinesAndTheMenusWay) {
    const std::vector<OutputChoice> listed = listMidiOutputs();
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed[listed.size() - 2].name, "none");
    EXPECT_EQ(listed.back().name, "trace");
    for (const OutputChoice& choice : listed) {
        EXPECT_TRUE(isOutputName(choice.name)) << choice.name;
    }
    // The menu always offers the built-in synthesiser, first, and no trace.
    const std::vector<OutputChoice> menu = listMidiOutputs(Listing::Menu);
    EXPECT_EQ(menu.front().label, "Built-in synthesiser");
    EXPECT_EQ(menu.back().label, "None");
    EXPECT_EQ(outputNamesText(), "builtin, port:NAME, virtual, none, trace");
    EXPECT_FALSE(isOutputName("port:") || isOutputName("virtual:x") || isOutputName(""));
}

// What a port is handed: "F8@40" a pulse due at 40 ms, "<" before the last
// round. A round takes what is due by its limit, at most `perRound`.
std::vector<std::string> released(const std::vector<std::pair<std::uint32_t, int>>& sent,
                                  std::vector<int> limitsMs, int perRound = 100) {
    const auto ns = [](int ms) { return std::int64_t{ms} * 1'000'000 + 7'000'000'000; };
    MessageScheduler source({.latency = std::chrono::milliseconds(0)});
    for (const auto& [message, ms] : sent) {
        source.setMessageTime(SteadyClock::time_point(std::chrono::nanoseconds(ns(ms))));
        source.send(message);
    }
    TimedMessageOrder order;
    std::vector<std::string> out;
    for (std::size_t round = 0; round < limitsMs.size(); ++round) {
        int room = perRound;
        order.release(
            source, [&](const TimedMessage& item) { return item.dueNs <= ns(limitsMs[round]); },
            [&](const TimedMessage& item) {
                if (room-- == 0) {
                    return false;
                }
                out.push_back(testing::messageText(item.message).substr(0, 2) + "@" +
                              std::to_string((item.dueNs - ns(0)) / 1'000'000) +
                              (round + 1 == limitsMs.size() ? "" : "<"));
                return true;
            });
    }
    return out;
}

TEST(TimedMessageOrder, KeepsTheOrderSentButPlacesEachPulseAtItsTimeUntilAStop) {
    using V = std::vector<std::string>;
    constexpr std::uint32_t kOn = 0x90, kOff = 0x80, kPulse = 0xF8, kStop = 0xFC, kAso = 0xB0;
    // A step at 0 with its pulses at 0, 50 and 100; the next step at 150.
    const std::vector<std::pair<std::uint32_t, int>> steps{
        {kPulse, 0}, {kOn, 0}, {kPulse, 50}, {kPulse, 100}, {kPulse, 150}, {kOff, 150}};
    EXPECT_EQ(released(steps, {0, 60, 200}),
              (V{"F8@0<", "90@0<", "F8@50<", "F8@100", "F8@150", "80@150"}));
    // Stop at 70 comes before the pulse at 100, and drops it.
    EXPECT_EQ(released({{kPulse, 0}, {kPulse, 50}, {kPulse, 100}, {kAso, 70}, {kStop, 70}}, {200}),
              (V{"F8@0", "F8@50", "B0@70", "FC@70"}));
    // Any other message due earlier than the one before it waits for that one.
    EXPECT_EQ(released({{kOn, 30}, {kOff, 20}}, {25, 30}), (V{"90@30", "80@20"}));
    // What a full port cannot take waits for the next round, in order.
    EXPECT_EQ(released({{kPulse, 0}, {kOn, 0}, {kOff, 0}}, {0, 0}, 2),
              (V{"F8@0<", "90@0<", "80@0"}));
}

// An instant (a step's moment on a Link session) is due then, with no latency.
TEST(MessageScheduler, AnInstantIsDueThenAMessageTimeALatencyLater) {
    constexpr std::int64_t kAt = 1'000'000'000;
    MessageScheduler scheduler;
    scheduler.setMessageInstant(SteadyClock::time_point(SteadyClock::duration(kAt)));
    scheduler.send(0x90);
    scheduler.setMessageTime(SteadyClock::time_point(SteadyClock::duration(kAt)));
    scheduler.send(0x80);
    EXPECT_EQ(scheduler.front()->dueNs, kAt);
    scheduler.pop();
    EXPECT_EQ(scheduler.front()->dueNs - kAt, scheduler.config().latency.count());
}

TEST(JackTimeMap, PlacesTimesInTheCycleTheServerReckons) {
    JackTimeMap map(-500'000); // JACK's clock is 0.5 ms ahead of the steady one
    map.beginCycle(256, 1'000'000, 1'005'333);
    const std::int64_t startNs = 999'500'000;
    EXPECT_NEAR(map.offsetOf(startNs + 1'000'000), 48.0, 0.01); // 1 ms in
    EXPECT_LT(map.offsetOf(startNs - 1), 0.0);
    EXPECT_GE(map.offsetOf(startNs + 5'333'000), 256.0);
    // A cycle late by 20 ms (a driver that dropped frames) keeps its own time.
    map.beginCycle(256, 1'025'000, 1'030'333);
    EXPECT_NEAR(map.offsetOf(startNs + 25'000'000 + 2'000'000), 96.0, 0.01);
}

TEST(PortOutput, ChoosesAPortByFullNameOrAUniquePartAndSendsItsBytes) {
    const std::vector<std::string> ports = {"Midi Through:Midi Through Port-0 14:0",
                                            "FLUID Synth (123):Synth input port (123:0) 128:0",
                                            "Synth"};
    // A full name wins over parts; a part ignores case; none, or several, choose nothing.
    const PortChoice none = OutputCause::NoSuchPort, several = OutputCause::AmbiguousPort;
    const std::pair<const char*, PortChoice> chosen[] = {{"Synth", 2u},      {"fluid synth", 1u},
                                                         {"through", 0u},    {"port", several},
                                                         {"Keyboard", none}, {"", none}};
    for (const auto& [name, choice] : chosen) {
        EXPECT_EQ(choosePort(ports, name), choice) << name;
    }
    // Clock is one byte, program change and channel pressure two, the rest three.
    for (const auto& [status, size] :
         {std::pair{0xC3, 2u}, {0xD0, 2u}, {0x99, 3u}, {0xB0, 3u}, {0xF2, 3u}, {0xF8, 1u}}) {
        const MidiBytes bytes =
            midiBytes(packShortMessage(static_cast<std::uint8_t>(status), 40, 9));
        EXPECT_EQ(bytes.size, size) << status;
        EXPECT_EQ(bytes.bytes,
                  (std::array<unsigned char, 3>{static_cast<unsigned char>(status), 40, 9}));
    }
}

} // namespace
} // namespace tarnwick
