#include "synth/stem_render.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdlib.h>
#include <unistd.h>

#include "composition/song_settings.h"
#include "files/midi_file.h"
#include "midi/channel_messages.h"
#include "midi/midi_output.h"
#include "midi/status_bytes.h"
#include "synth/piece_renderer.h"

namespace tarnwick {

namespace {

// Channel c sounds through group c % kGroups: with five groups the voices'
// channels 0, 1 and 2, the harmony's 3 and the drums' 9 each have their own.
constexpr int kGroups = 5;
constexpr int kVoice2Channel = 1;
constexpr int kHarmonyChannel = 3;
static_assert(midi::kDrumChannel % kGroups == 4);

// The line each group carries.
constexpr std::array<PieceLine, kGroups> kGroupLines = {
    PieceLine::Voice1, PieceLine::Voice2, PieceLine::Voice3, PieceLine::Harmony, PieceLine::Drums};

constexpr int kChunkFrames = 8192;
// The share of the progress the rendering takes; writing the files the rest.
constexpr double kRenderShare = 0.85;

std::size_t lineIndex(PieceLine line) {
    return static_cast<std::size_t>(line);
}

std::uint32_t onChannel(std::uint32_t message, int channel) {
    return (message & ~0x0Fu) | static_cast<std::uint32_t>(channel);
}

SynthConfig withGroups(SynthConfig config) {
    config.audioGroups = kGroups;
    return config;
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

StemRenderer::StemRenderer(const SynthConfig& config, double gain)
    : synth_(withGroups(config)), gain_(static_cast<float>(gain)) {}

std::string StemRenderer::loadSoundFont(const std::string& path) {
    return synth_.loadSoundFont(path);
}

bool StemRenderer::render(const SongSettings& settings, std::span<const LineEvent> events,
                          const StemConsumer& consume) {
    const bool harmonyOn = settings.harmonyOffset != 0;
    for (const std::uint32_t message : fileSetUpMessages(settings)) {
        synth_.apply(message);
        if (midi::messageChannel(message) == kVoice2Channel) {
            synth_.apply(onChannel(message, kHarmonyChannel));
        }
    }
    const auto apply = [&](std::size_t i) {
        const LineEvent& tagged = events[i];
        const bool harmony = tagged.line == PieceLine::Harmony;
        const std::uint32_t message = tagged.event.message;
        synth_.apply(harmony ? onChannel(message, kHarmonyChannel) : message);
        // On their one channel in the mix, a note of either line ends the
        // other's sounding note on that key (a note-off does so too).
        const std::uint8_t kind = midi::messageKind(message);
        if (harmonyOn && (harmony || tagged.line == PieceLine::Voice2) &&
            (kind == midi::kNoteOn || kind == midi::kNoteOff)) {
            synth_.apply(
                midi::noteOff(harmony ? kVoice2Channel : kHarmonyChannel, messageData1(message)));
        }
    };

    const std::int64_t total = pieceFrames(settings.stepMs);
    const auto size = static_cast<std::size_t>(kChunkFrames);
    // Per group: dry left and right, reverb left and right, chorus left and right.
    std::vector<float> buffers(size * kGroups * 6);
    std::array<float*, kGroups * 2> dry{};
    std::array<float*, kGroups * 4> fx{};
    for (std::size_t b = 0; b < dry.size(); ++b) {
        dry[b] = buffers.data() + b * size;
    }
    for (std::size_t b = 0; b < fx.size(); ++b) {
        fx[b] = buffers.data() + (dry.size() + b) * size;
    }
    std::array<StemSound, kLineCount> stems{};
    return renderTimedEvents(
        events.size(), [&](std::size_t i) { return eventFrame(events[i].event.timeMs); }, apply,
        total,
        [&](std::int64_t position, int frames) {
            std::fill(buffers.begin(), buffers.end(), 0.0f);
            synth_.processGroups(frames, dry.data(), fx.data());
            for (std::size_t g = 0; g < kGroups; ++g) {
                float* left = dry[2 * g];
                float* right = dry[2 * g + 1];
                for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
                    left[i] = (left[i] + fx[4 * g][i] + fx[4 * g + 2][i]) * gain_;
                    right[i] = (right[i] + fx[4 * g + 1][i] + fx[4 * g + 3][i]) * gain_;
                }
                fadeOutEnd(left, right, frames, position, total);
                stems[lineIndex(kGroupLines[g])] = {left, right};
            }
            return consume(std::span<const StemSound, kLineCount>(stems), frames);
        });
}

namespace {

// Sound waiting for its gain: an unnamed file in the target folder, gone
// when closed (also when the program ends).
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& folder) {
        std::string name = folder + "/.tarnwick-stems-XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) {
            error_ = std::strerror(errno);
            return;
        }
        unlink(name.c_str());
        file_ = fdopen(fd, "w+b");
        if (file_ == nullptr) {
            error_ = std::strerror(errno);
            close(fd);
            return;
        }
        std::setvbuf(file_, nullptr, _IOFBF, kBufferBytes);
    }
    ~ScratchFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Empty while all is well.
    const std::string& error() const { return error_; }

    bool write(const float* samples, std::size_t count) {
        return check(std::fwrite(samples, sizeof(float), count, file_) == count);
    }
    bool read(float* samples, std::size_t count) {
        return check(std::fread(samples, sizeof(float), count, file_) == count);
    }
    bool rewind() { return check(std::fseek(file_, 0, SEEK_SET) == 0); }

  private:
    static constexpr std::size_t kBufferBytes = 1 << 20;

    bool check(bool ok) {
        if (!ok && error_.empty()) {
            error_ = std::ferror(file_) != 0 && errno != 0 ? std::strerror(errno)
                                                           : "the scratch file ended early";
        }
        return ok;
    }

    std::FILE* file_ = nullptr;
    std::string error_;
};

StemsRenderResult failed(RenderStatus status, FileResult file) {
    return {status, std::move(file), 0.0, {}};
}

} // namespace

StemsRenderResult renderStemFiles(const std::string& folder, AudioFileFormat format,
                                  const std::string& soundFont, const SongSettings& settings,
                                  std::span<const LineEvent> events,
                                  const RenderProgress& progress) {
    if (std::optional<std::string> tooLong = renderLengthProblem(settings.stepMs)) {
        return failed(RenderStatus::CannotWrite, FileResult::failure(folder, *tooLong));
    }
    StemRenderer renderer;
    if (std::string problem = renderer.loadSoundFont(soundFont); !problem.empty()) {
        return failed(RenderStatus::FontUnusable, FileResult::failure(soundFont, problem));
    }
    ScratchFile scratch(folder);
    if (!scratch.error().empty()) {
        return failed(RenderStatus::CannotWrite, FileResult::failure(folder, scratch.error()));
    }
    const std::vector<PieceLine> lines = stemLines(settings);
    const std::int64_t total = pieceFrames(settings.stepMs);
    const auto share = [&](std::int64_t done) {
        return static_cast<double>(done) / static_cast<double>(total);
    };

    // First the sound of every stem into the scratch file, frame by frame
    // (each frame the stems' left and right in turn), and the loudest sample.
    const std::size_t width = 2 * lines.size();
    std::vector<float> frameBlock;
    float peak = 0.0f;
    std::int64_t done = 0;
    bool cancelled = false;
    const bool rendered = renderer.render(
        settings, events, [&](std::span<const StemSound, kLineCount> stems, int frames) {
            const auto count = static_cast<std::size_t>(frames);
            frameBlock.resize(count * width);
            for (std::size_t s = 0; s < lines.size(); ++s) {
                const StemSound& stem = stems[lineIndex(lines[s])];
                float* out = frameBlock.data() + 2 * s;
                for (std::size_t i = 0; i < count; ++i, out += width) {
                    out[0] = stem.left[i];
                    out[1] = stem.right[i];
                }
            }
            for (const float sample : frameBlock) {
                peak = std::max(peak, std::abs(sample));
            }
            if (!scratch.write(frameBlock.data(), frameBlock.size())) {
                return false;
            }
            done += frames;
            cancelled = progress && !progress(kRenderShare * share(done));
            return !cancelled;
        });
    if (cancelled) {
        return failed(RenderStatus::Cancelled, FileResult::failure(folder, "cancelled"));
    }
    if (!rendered || !scratch.rewind()) {
        return failed(RenderStatus::CannotWrite, FileResult::failure(folder, scratch.error()));
    }

    // Then the files, at the gain that keeps the loudest stem under the ceiling.
    OutputStageConfig stage;
    if (format == AudioFileFormat::OggVorbis) {
        stage.ceilingDb -= kLossyHeadroomDb;
    }
    const double ceiling = std::pow(10.0, stage.ceilingDb / 20.0);
    const double gain = peak > ceiling ? ceiling / peak : 1.0;
    std::vector<std::unique_ptr<AudioFileWriter>> writers;
    std::vector<std::string> paths;
    for (const PieceLine line : lines) {
        paths.push_back(folder + "/" + std::string(kStemNames[lineIndex(line)]) + "." +
                        std::string(audioExtension(format)));
        writers.push_back(
            std::make_unique<AudioFileWriter>(paths.back(), format, kRenderSampleRate));
        if (!writers.back()->result().ok()) {
            return failed(RenderStatus::CannotWrite, writers.back()->result());
        }
    }
    std::vector<float> left(kChunkFrames);
    std::vector<float> right(kChunkFrames);
    const auto scale = static_cast<float>(gain);
    for (std::int64_t position = 0; position < total; position += kChunkFrames) {
        const auto frames =
            static_cast<std::size_t>(std::min<std::int64_t>(kChunkFrames, total - position));
        frameBlock.resize(frames * width);
        if (!scratch.read(frameBlock.data(), frameBlock.size())) {
            return failed(RenderStatus::CannotWrite, FileResult::failure(folder, scratch.error()));
        }
        for (std::size_t s = 0; s < lines.size(); ++s) {
            const float* in = frameBlock.data() + 2 * s;
            for (std::size_t i = 0; i < frames; ++i, in += width) {
                left[i] = in[0] * scale;
                right[i] = in[1] * scale;
            }
            if (!writers[s]->write(left.data(), right.data(), static_cast<int>(frames))) {
                return failed(RenderStatus::CannotWrite, writers[s]->result());
            }
        }
        if (progress &&
            !progress(kRenderShare +
                      (1.0 - kRenderShare) * share(position + static_cast<std::int64_t>(frames)))) {
            return failed(RenderStatus::Cancelled, FileResult::failure(folder, "cancelled"));
        }
    }
    // Every file complete before the first replaces its target.
    for (const auto& writer : writers) {
        if (const FileResult closed = writer->close(); !closed.ok()) {
            return failed(RenderStatus::CannotWrite, closed);
        }
    }
    for (const auto& writer : writers) {
        if (const FileResult put = writer->finish(); !put.ok()) {
            return failed(RenderStatus::CannotWrite, put);
        }
    }
    return {RenderStatus::Written, FileResult::success(folder), 20.0 * std::log10(gain),
            std::move(paths)};
}

} // namespace tarnwick
