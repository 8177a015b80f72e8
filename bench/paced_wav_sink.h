#pragma once
// A stand-in for a sound card: a thread of its own asks the render callback
// for one period of audio each time that period is due on the steady clock,
// exactly as a card consumes frames in real time, and writes the audio into a
// WAV file. Frame f of the file counts as heard at startTime() + f / rate.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <sndfile.h>

#include "audio/audio_sink.h"
#include "midi/midi_output.h"

namespace tarnwick::bench {

class PacedWavSink final : public AudioSink {
  public:
    // Starts rendering at once; `path` receives a mono 32-bit float WAV.
    PacedWavSink(const std::string& path, double sampleRate, AudioSource& source);
    ~PacedWavSink() override; // stops the thread and closes the file
    PacedWavSink(const PacedWavSink&) = delete;
    PacedWavSink& operator=(const PacedWavSink&) = delete;

    double sampleRate() const override { return sampleRate_; }
    // Each period is rendered the moment it is due and counts as heard then.
    std::chrono::nanoseconds latency() const override { return std::chrono::nanoseconds(0); }
    bool isOpen() const { return file_ != nullptr; }
    SteadyClock::time_point startTime() const { return start_; }

  private:
    void run();

    double sampleRate_;
    AudioSource& source_;
    SNDFILE* file_ = nullptr;
    SteadyClock::time_point start_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace tarnwick::bench
