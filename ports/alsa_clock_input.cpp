#include "ports/alsa_clock_input.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <RtMidi.h>

#include "midi/midi_output.h"
#include "ports/clock_receiver.h"
#include "ports/rtmidi_ports.h"

namespace tarnwick {

namespace {

// The receiver counts microseconds as its frames.
constexpr double kFramesPerSecond = 1e6;
// How often a silent clock and a port gone away are looked for.
constexpr auto kCheckEvery = std::chrono::milliseconds(50);
constexpr int kChecksPerPortLook = 20;

class AlsaClockInput final : public ClockInput {
  public:
    AlsaClockInput(std::unique_ptr<RtMidiIn> client, std::string portName)
        : client_(std::move(client)), portName_(std::move(portName)), receiver_(kFramesPerSecond) {
        client_->setCallback(&AlsaClockInput::received, this);
        checker_ = std::thread([this] { check(); });
    }
    ~AlsaClockInput() override {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        checker_.join();
        client_->cancelCallback();
        client_->closePort();
    }
    AlsaClockInput(const AlsaClockInput&) = delete;
    AlsaClockInput& operator=(const AlsaClockInput&) = delete;

    ClockView view() const override { return receiver_.view(); }

  private:
    // RtMidi's thread: one message, at the moment it arrives.
    static void received(double /*delta*/, std::vector<unsigned char>* message, void* self) {
        auto& input = *static_cast<AlsaClockInput*>(self);
        const std::lock_guard lock(input.mutex_);
        input.beginNow();
        input.receiver_.receive(message->data(), message->size(), 0);
        input.receiver_.endCycle(0);
    }

    // A "cycle" of no length at the moment it is now, in microseconds.
    void beginNow() {
        const std::int64_t ns = SteadyClock::now().time_since_epoch().count();
        receiver_.beginCycle(static_cast<std::uint32_t>(ns / 1000), ns, 1000.0);
    }

    // The checker's thread: a clock that falls silent, a port that goes.
    void check() {
        std::unique_lock lock(mutex_);
        for (int round = 1; !closing_; ++round) {
            wake_.wait_for(lock, kCheckEvery);
            if (round % kChecksPerPortLook == 0) {
                const std::vector<std::string> names = rtMidiPortNames(*client_);
                if (std::find(names.begin(), names.end(), portName_) == names.end()) {
                    receiver_.portGone();
                }
            }
            beginNow();
            receiver_.endCycle(0);
        }
    }

    std::unique_ptr<RtMidiIn> client_;
    std::string portName_;
    ClockReceiver receiver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool closing_ = false;
    std::thread checker_;
};

} // namespace

std::unique_ptr<ClockInput> openAlsaClockInput(std::string_view port, ClockFault& failure) {
    if (access(kAlsaSequencerDevice, R_OK | W_OK) != 0) {
        return nullptr;
    }
    try {
        auto client = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Tarnwick clock");
        client->setErrorCallback(&ignoreMidiError, nullptr);
        // Clock messages are "timing" to RtMidi, which leaves them out unless told.
        client->ignoreTypes(true, false, true);
        const std::vector<std::string> names = rtMidiPortNames(*client);
        auto found = std::find(names.begin(), names.end(), port);
        if (found == names.end() &&
            std::count_if(names.begin(), names.end(), [&](const std::string& name) {
                return name.find(port) != std::string::npos;
            }) == 1) {
            found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
                return name.find(port) != std::string::npos;
            });
        }
        if (found == names.end()) {
            failure = ClockFault::NotConnected;
            return nullptr;
        }
        client->openPort(static_cast<unsigned>(found - names.begin()), "clock in");
        return std::make_unique<AlsaClockInput>(std::move(client), *found);
    } catch (const RtMidiError&) {
        failure = ClockFault::NotConnected;
        return nullptr;
    }
}

} // namespace tarnwick
