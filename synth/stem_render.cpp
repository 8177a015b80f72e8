#include "synth/stem_render.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "composition/song_settings.h"
#include "files/midi_file.h"
#include "midi/channel_messages.h"
#include "midi/midi_output.h"
#include "midi/status_bytes.h"
#include "synth/piece_renderer.h"

namespace tarnwick {

namespace {

constexpr int kVoice2Channel = 1;
constexpr int kChunkFrames = 8192;

std::size_t lineIndex(PieceLine line) {
    return static_cast<std::size_t>(line);
}

// The channel a line plays on in its synthesiser: the mix's, and voice 2's
// for the harmony.
int lineChannel(PieceLine line) {
    switch (line) {
    case PieceLine::Voice1:
        return 0;
    case PieceLine::Voice2:
    case PieceLine::Harmony:
        return kVoice2Channel;
    case PieceLine::Voice3:
        return 2;
    case PieceLine::Drums:
        return midi::kDrumChannel;
    }
    return 0;
}

} // namespace

std::vector<PieceLine> stemLines(const SongSettings& settings) {
    std::vector<PieceLine> lines{PieceLine::Voice1, PieceLine::Voice2};
    if (settings.harmonyOffset != 0) {
        lines.push_back(PieceLine::Harmony);
    }
    lines.push_back(PieceLine::Voice3);
    lines.push_back(PieceLine::Drums);
    return lines;
}

std::string_view audioExtension(AudioFileFormat format) {
    switch (format) {
    case AudioFileFormat::Wav:
        return "wav";
    case AudioFileFormat::Flac:
        return "flac";
    case AudioFileFormat::OggVorbis:
        return "ogg";
    }
    return {};
}

std::vector<MidiEvent> stemMessages(std::span<const LineEvent> events, PieceLine line) {
    const bool shared = line == PieceLine::Voice2 || line == PieceLine::Harmony;
    const PieceLine partner = line == PieceLine::Voice2 ? PieceLine::Harmony : PieceLine::Voice2;
    std::vector<MidiEvent> messages;
    for (const LineEvent& tagged : events) {
        const std::uint32_t message = tagged.event.message;
        const std::uint8_t kind = midi::messageKind(message);
        if (tagged.line == line) {
            messages.push_back(tagged.event);
        } else if (shared && tagged.line == partner &&
                   (kind == midi::kNoteOn || kind == midi::kNoteOff)) {
            messages.push_back(
                {tagged.event.timeMs, midi::noteOff(kVoice2Channel, messageData1(message))});
        }
    }
    return messages;
}

SynthConfig StemRenderer::stemSynthConfig() {
    SynthConfig config = renderSynthConfig();
    config.cpuCores = 1;
    return config;
}

StemRenderer::StemRenderer(PieceLine line, std::vector<MidiEvent> messages,
                           const SynthConfig& config, double gain)
    : line_(line), messages_(std::move(messages)), gain_(static_cast<float>(gain)) {
    if (std::any_of(messages_.begin(), messages_.end(),
                    [](const MidiEvent& e) { return midi::isNoteStart(e.message); })) {
        synth_ = std::make_unique<FluidSynthInstance>(config);
    }
}

std::string StemRenderer::loadSoundFont(const std::string& path) {
    return synth_ ? synth_->loadSoundFont(path) : std::string();
}

bool StemRenderer::render(const SongSettings& settings, const AudioConsumer& consume) {
    const std::int64_t total = pieceFrames(settings.stepMs);
    std::vector<float> left(kChunkFrames);
    std::vector<float> right(kChunkFrames);
    if (!synth_) {
        for (std::int64_t position = 0; position < total; position += kChunkFrames) {
            if (!consume(
                    left.data(), right.data(),
                    static_cast<int>(std::min<std::int64_t>(total - position, kChunkFrames)))) {
                return false;
            }
        }
        return true;
    }
    for (const std::uint32_t message : fileSetUpMessages(settings)) {
        if (midi::messageChannel(message) == lineChannel(line_)) {
            synth_->apply(message);
        }
    }
    return renderTimedEvents(
        messages_.size(), [&](std::size_t i) { return eventFrame(messages_[i].timeMs); },
        [&](std::size_t i) { synth_->apply(messages_[i].message); }, total,
        [&](std::int64_t position, int frames) {
            synth_->write(left.data(), right.data(), 0, frames);
            for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
                left[i] *= gain_;
                right[i] *= gain_;
            }
            fadeOutEnd(left.data(), right.data(), frames, position, total);
            return consume(left.data(), right.data(), frames);
        });
}

namespace {

StemsRenderResult failed(RenderStatus status, FileResult file) {
    return {status, std::move(file), 0.0, {}};
}

// One stem: its line, its renderer (made when its render begins), its file
// and its loudest sample so far.
struct StemJob {
    PieceLine line;
    const std::vector<MidiEvent>* messages;
    const std::string* path;
    std::int64_t weight; // soundingMs
    std::unique_ptr<StemRenderer> renderer;
    std::unique_ptr<AudioFileWriter> writer;
    float peak = 0.0f;
};

// A rough measure of a line's work, for taking the heaviest first: how long
// its notes sound, each until its key ends or is struck again, at most
// kLongestNoteMs. The drums' notes are short whatever their messages say.
std::int64_t soundingMs(PieceLine line, const std::vector<MidiEvent>& messages,
                        std::int64_t endMs) {
    constexpr std::int64_t kLongestNoteMs = 4000;
    if (line == PieceLine::Drums) {
        return 0;
    }
    std::array<std::int64_t, 128> since{};
    since.fill(-1);
    std::int64_t total = 0;
    const auto end = [&](std::size_t key, std::int64_t timeMs) {
        if (since[key] >= 0) {
            total += std::min(timeMs - since[key], kLongestNoteMs);
            since[key] = -1;
        }
    };
    for (const MidiEvent& e : messages) {
        const std::uint8_t kind = midi::messageKind(e.message);
        const auto key = static_cast<std::size_t>(messageData1(e.message) & midi::kDataMask);
        if (kind == midi::kNoteOn || kind == midi::kNoteOff) {
            end(key, e.timeMs);
        }
        if (midi::isNoteStart(e.message)) {
            since[key] = e.timeMs;
        }
    }
    for (std::size_t key = 0; key < since.size(); ++key) {
        end(key, endMs);
    }
    return total;
}

// The renderer of a stem at `gain` against the mix's, or why the font did not load.
std::string makeRenderer(StemJob& job, const std::string& soundFont, double gain) {
    job.renderer = std::make_unique<StemRenderer>(
        job.line, *job.messages, StemRenderer::stemSynthConfig(), OutputStageConfig{}.gain * gain);
    return job.renderer->loadSoundFont(soundFont);
}

struct PassOutcome {
    RenderStatus status = RenderStatus::Written;
    FileResult failure; // the file that could not be written, or the font
};

// Renders every stem into its file, the stems shared out over up to one
// thread per core; each file is closed, and its data flushed to the disk,
// as soon as its stem is complete, while the others still render. The
// calling thread reports the progress (now and then, and once at the end)
// and passes a cancel on.
PassOutcome renderPass(std::vector<StemJob>& jobs, const SongSettings& settings,
                       const std::string& soundFont, double gain, const RenderProgress& progress) {
    const std::int64_t total = pieceFrames(settings.stepMs) * std::ssize(jobs);
    std::atomic<std::size_t> next{0};
    std::atomic<std::int64_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    PassOutcome outcome;
    const std::size_t threads =
        std::min<std::size_t>(jobs.size(), std::max(1u, std::thread::hardware_concurrency()));
    std::size_t running = threads;
    const auto work = [&] {
        for (std::size_t j = next++; j < jobs.size() && !stop; j = next++) {
            StemJob& job = jobs[j];
            if (!job.renderer) {
                if (std::string problem = makeRenderer(job, soundFont, gain); !problem.empty()) {
                    const std::scoped_lock lock(mutex);
                    if (outcome.status == RenderStatus::Written) {
                        outcome = {RenderStatus::FontUnusable,
                                   FileResult::failure(soundFont, problem)};
                    }
                    stop = true;
                    break;
                }
            }
            const bool rendered =
                job.renderer->render(settings, [&](const float* left, const float* right, int n) {
                    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                        job.peak = std::max({job.peak, std::abs(left[i]), std::abs(right[i])});
                    }
                    done += n;
                    return job.writer->write(left, right, n) && !stop;
                });
            job.renderer.reset(); // the synthesiser's teardown too on this thread
            if ((rendered && job.writer->close().ok()) || stop) {
                continue;
            }
            const std::scoped_lock lock(mutex);
            if (outcome.status == RenderStatus::Written) {
                outcome = {RenderStatus::CannotWrite, job.writer->result()};
            }
            stop = true;
        }
        const std::scoped_lock lock(mutex);
        --running;
        ended.notify_one();
    };
    std::vector<std::jthread> workers;
    for (std::size_t t = 0; t < threads; ++t) {
        workers.emplace_back(work);
    }
    const auto report = [&] {
        if (progress && !progress(static_cast<double>(done) / static_cast<double>(total))) {
            stop = true;
            return false;
        }
        return true;
    };
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return running == 0; })) {
        lock.unlock();
        const bool go = !stop && report();
        lock.lock();
        if (!go && outcome.status == RenderStatus::Written) {
            outcome.status = RenderStatus::Cancelled;
        }
    }
    if (outcome.status == RenderStatus::Written && !report()) {
        outcome.status = RenderStatus::Cancelled;
    }
    return outcome;
}

} // namespace

StemsRenderResult renderStemFiles(const std::string& folder, AudioFileFormat format,
                                  const std::string& soundFont, const SongSettings& settings,
                                  std::span<const LineEvent> events,
                                  const RenderProgress& progress) {
    if (std::optional<std::string> tooLong = renderLengthProblem(settings.stepMs)) {
        return failed(RenderStatus::CannotWrite, FileResult::failure(folder, *tooLong));
    }
    OutputStageConfig stage;
    if (format == AudioFileFormat::OggVorbis) {
        stage.ceilingDb -= kLossyHeadroomDb;
    }
    const double ceiling = std::pow(10.0, stage.ceilingDb / 20.0);
    const std::vector<PieceLine> lines = stemLines(settings);
    const std::int64_t endMs = pieceFrames(settings.stepMs) * 1000 / kRenderSampleRate;
    std::vector<std::string> paths;
    std::vector<std::vector<MidiEvent>> messages;
    for (const PieceLine line : lines) {
        paths.push_back(folder + "/" + std::string(kStemNames[lineIndex(line)]) + "." +
                        std::string(audioExtension(format)));
        messages.push_back(stemMessages(events, line));
    }

    // Most pieces need no lower gain: the files are written as the stems are
    // rendered. When a stem turns out to peak above the ceiling, those files
    // are dropped and the piece is rendered again (it sounds the same) at the
    // gain that brings the loudest stem down to the ceiling.
    double gain = 1.0;
    for (int pass = 0; pass < 2; ++pass) {
        // The font is tried once before any file is made; every other stem
        // loads it as its render begins, on its thread.
        std::vector<StemJob> jobs;
        for (std::size_t s = 0; s < lines.size(); ++s) {
            jobs.push_back({lines[s], &messages[s], &paths[s],
                            soundingMs(lines[s], messages[s], endMs), nullptr, nullptr});
        }
        // The heaviest first, so that the threads end close together.
        std::ranges::stable_sort(jobs, std::greater<>(), &StemJob::weight);
        std::string problem = makeRenderer(jobs.front(), soundFont, gain);
        if (problem.empty() && !jobs.front().renderer->sounds()) {
            problem = FluidSynthInstance(StemRenderer::stemSynthConfig()).loadSoundFont(soundFont);
        }
        if (!problem.empty()) {
            return failed(RenderStatus::FontUnusable, FileResult::failure(soundFont, problem));
        }
        for (StemJob& job : jobs) {
            job.writer = std::make_unique<AudioFileWriter>(*job.path, format, kRenderSampleRate);
            if (!job.writer->result().ok()) {
                return failed(RenderStatus::CannotWrite, job.writer->result());
            }
        }
        const PassOutcome outcome = renderPass(jobs, settings, soundFont, gain, progress);
        if (outcome.status == RenderStatus::Cancelled) {
            return failed(RenderStatus::Cancelled, FileResult::failure(folder, "cancelled"));
        }
        if (outcome.status != RenderStatus::Written) {
            return failed(outcome.status, outcome.failure);
        }
        // The second pass sounds as the first, up to rounding.
        float peak = 0.0f;
        for (const StemJob& job : jobs) {
            peak = std::max(peak, job.peak);
        }
        if (pass == 0 && peak > ceiling) {
            gain = ceiling / peak;
            continue;
        }
        // Every file complete before the first replaces its target.
        for (const StemJob& job : jobs) {
            if (const FileResult put = job.writer->finish(); !put.ok()) {
                return failed(RenderStatus::CannotWrite, put);
            }
        }
        break;
    }
    return {RenderStatus::Written, FileResult::success(folder), 20.0 * std::log10(gain),
            std::move(paths)};
}

} // namespace tarnwick
