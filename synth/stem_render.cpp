#include "synth/stem_render.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

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

std::size_t lineIndex(PieceLine line) {
    return static_cast<std::size_t>(line);
}

std::uint32_t onChannel(std::uint32_t message, int channel) {
    return (message & ~0x0Fu) | static_cast<std::uint32_t>(channel);
}

// One render thread: FluidSynth's extra threads mix into buffers of every
// group, which are summed at every block; with five groups that summing
// cost more than the second thread saved (11 s against 2.4 s for three
// minutes of silence).
SynthConfig withGroups(SynthConfig config) {
    config.audioGroups = kGroups;
    config.cpuCores = 1;
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
    OutputStageConfig stage;
    if (format == AudioFileFormat::OggVorbis) {
        stage.ceilingDb -= kLossyHeadroomDb;
    }
    const double ceiling = std::pow(10.0, stage.ceilingDb / 20.0);
    const std::vector<PieceLine> lines = stemLines(settings);
    const std::int64_t total = pieceFrames(settings.stepMs);
    std::vector<std::string> paths;
    for (const PieceLine line : lines) {
        paths.push_back(folder + "/" + std::string(kStemNames[lineIndex(line)]) + "." +
                        std::string(audioExtension(format)));
    }

    // Most pieces need no lower gain: the files are written as the stems are
    // rendered. When a stem turns out to peak above the ceiling, those files
    // are dropped and the piece is rendered again (it sounds the same) at the
    // gain that brings the loudest stem down to the ceiling.
    double gain = 1.0;
    for (int pass = 0; pass < 2; ++pass) {
        StemRenderer renderer;
        if (std::string problem = renderer.loadSoundFont(soundFont); !problem.empty()) {
            return failed(RenderStatus::FontUnusable, FileResult::failure(soundFont, problem));
        }
        std::vector<std::unique_ptr<AudioFileWriter>> writers;
        for (const std::string& path : paths) {
            writers.push_back(std::make_unique<AudioFileWriter>(path, format, kRenderSampleRate));
            if (!writers.back()->result().ok()) {
                return failed(RenderStatus::CannotWrite, writers.back()->result());
            }
        }
        const auto scale = static_cast<float>(gain);
        std::vector<float> left(kChunkFrames);
        std::vector<float> right(kChunkFrames);
        float peak = 0.0f;
        std::int64_t done = 0;
        bool cancelled = false;
        FileResult writeFailure = FileResult::success(folder);
        const bool rendered = renderer.render(
            settings, events, [&](std::span<const StemSound, kLineCount> stems, int frames) {
                const auto count = static_cast<std::size_t>(frames);
                for (std::size_t s = 0; s < lines.size(); ++s) {
                    const StemSound& stem = stems[lineIndex(lines[s])];
                    for (std::size_t i = 0; i < count; ++i) {
                        peak = std::max({peak, std::abs(stem.left[i]), std::abs(stem.right[i])});
                        left[i] = stem.left[i] * scale;
                        right[i] = stem.right[i] * scale;
                    }
                    if (!writers[s]->write(left.data(), right.data(), frames)) {
                        writeFailure = writers[s]->result();
                        return false;
                    }
                }
                done += frames;
                cancelled =
                    progress && !progress(static_cast<double>(done) / static_cast<double>(total));
                return !cancelled;
            });
        if (cancelled) {
            return failed(RenderStatus::Cancelled, FileResult::failure(folder, "cancelled"));
        }
        if (!rendered) {
            return failed(RenderStatus::CannotWrite, writeFailure);
        }
        // The second pass sounds as the first, up to rounding.
        if (pass == 0 && peak > ceiling) {
            gain = ceiling / peak;
            continue;
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
        break;
    }
    return {RenderStatus::Written, FileResult::success(folder), 20.0 * std::log10(gain),
            std::move(paths)};
}

} // namespace tarnwick
