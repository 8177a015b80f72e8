#include "synth/audio_render.h"

#include "audio/audio_file_writer.h"
#include "composition/song_settings.h"
#include "synth/piece_renderer.h"

namespace tarnwick {

namespace {

AudioRenderResult cannotWrite(const std::string& path, std::string reason) {
    return {RenderStatus::CannotWrite, FileResult::failure(path, std::move(reason))};
}

} // namespace

std::optional<std::string> renderLengthProblem(std::int32_t stepMs) {
    if (pieceFrames(stepMs) > kMaxRenderSeconds * kRenderSampleRate) {
        return "at " + std::to_string(stepMs) + " ms per step the piece lasts longer than the " +
               std::to_string(kMaxRenderSeconds / 3600) + " hours an audio file may hold";
    }
    return std::nullopt;
}

AudioRenderResult renderAudioFile(const std::string& path, const std::string& soundFont,
                                  const SongSettings& settings, std::span<const MidiEvent> events,
                                  const RenderProgress& progress) {
    const std::optional<AudioFileFormat> format = audioFormatForPath(path);
    if (!format) {
        return cannotWrite(path, std::string(kAudioExtensionsReason));
    }
    const std::int64_t total = pieceFrames(settings.stepMs);
    if (std::optional<std::string> tooLong = renderLengthProblem(settings.stepMs)) {
        return cannotWrite(path, std::move(*tooLong));
    }
    OutputStageConfig stage;
    if (*format == AudioFileFormat::OggVorbis) {
        stage.ceilingDb -= kLossyHeadroomDb;
    }
    PieceRenderer renderer(renderSynthConfig(), stage);
    if (std::string failure = renderer.loadSoundFont(soundFont); !failure.empty()) {
        return {RenderStatus::FontUnusable, FileResult::failure(soundFont, std::move(failure))};
    }
    AudioFileWriter writer(path, *format, kRenderSampleRate);
    if (!writer.result().ok()) {
        return {RenderStatus::CannotWrite, writer.result()};
    }
    std::int64_t done = 0;
    bool cancelled = false;
    const bool complete =
        renderer.render(settings, events, [&](const float* left, const float* right, int frames) {
            if (!writer.write(left, right, frames)) {
                return false;
            }
            done += frames;
            cancelled =
                progress && !progress(static_cast<double>(done) / static_cast<double>(total));
            return !cancelled;
        });
    if (cancelled) {
        return {RenderStatus::Cancelled, FileResult::failure(path, "cancelled")};
    }
    if (!complete) {
        return {RenderStatus::CannotWrite, writer.result()};
    }
    const FileResult written = writer.finish();
    return {written.ok() ? RenderStatus::Written : RenderStatus::CannotWrite, written};
}

} // namespace tarnwick
