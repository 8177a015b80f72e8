#include "cli/render_command.h"

#include <iomanip>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/audio_file_writer.h"
#include "cli/batch_commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt_guard.h"
#include "files/midi_events.h"
#include "synth/audio_render.h"
#include "synth/soundfont_locator.h"
#include "synth/stem_render.h"

namespace tarnwick {

namespace {

// "\rtarnwick: rendering OUT.wav  42%" whenever the percentage changes, on a
// terminal; the line is cleared at the end.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, const std::string& path)
        : err_(err), path_(path), shown_(&err == &std::cerr && isatty(STDERR_FILENO) == 1) {}
    ~ProgressLine() {
        if (shown_ && percent_ >= 0) {
            err_ << '\r' << std::string(line_, ' ') << '\r' << std::flush;
        }
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(double done) {
        const int percent = static_cast<int>(done * 100.0);
        if (!shown_ || percent == percent_) {
            return;
        }
        percent_ = percent;
        const std::string text =
            "tarnwick: rendering " + path_ + "  " + std::to_string(percent) + "%";
        line_ = text.size();
        err_ << '\r' << text << std::flush;
    }

  private:
    std::ostream& err_;
    std::string path_;
    bool shown_;
    int percent_ = -1;
    std::size_t line_ = 0;
};

// The SoundFont to render with, or nothing (after saying why).
std::optional<std::string> renderSoundFont(const CommandOptions& options, std::ostream& err) {
    const std::string soundFont =
        options.soundFont.value_or(findSoundFont(defaultSoundFontPaths()));
    if (soundFont.empty()) {
        err << "tarnwick: no General MIDI SoundFont found (install fluid-soundfont-gm)\n";
        return std::nullopt;
    }
    if (!isReadableFile(soundFont)) {
        err << "tarnwick: cannot read the SoundFont " << soundFont << '\n';
        return std::nullopt;
    }
    return soundFont;
}

// The exit status for a render that did not write, saying why on `err`.
int reportRender(RenderStatus status, const FileResult& file, const std::string& target,
                 std::ostream& err) {
    switch (status) {
    case RenderStatus::Written:
        return kExitSuccess;
    case RenderStatus::Cancelled:
        err << "tarnwick: interrupted; " << target << " was not written\n";
        return kExitInterrupted;
    case RenderStatus::FontUnusable:
        err << "tarnwick: cannot load " << file.message() << '\n';
        return kExitUsage;
    case RenderStatus::CannotWrite:
        break;
    }
    return reportWrite(file, err);
}

std::optional<AudioFileFormat> stemsFormat(const CommandOptions& options) {
    return audioFormatForPath("stems." + options.audioFormat.value_or("wav"));
}

} // namespace

int renderAudio(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    const std::optional<std::string> soundFont = renderSoundFont(options, err);
    if (!soundFont) {
        return kExitUsage;
    }
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece->settings, piece->score, piece->random);

    const InterruptGuard interrupts;
    AudioRenderResult rendered;
    {
        ProgressLine progress(err, options.outputPath);
        rendered = renderAudioFile(options.outputPath, *soundFont, piece->settings, events,
                                   [&progress](double done) {
                                       progress.show(done);
                                       return !InterruptGuard::requested();
                                   });
    }
    return reportRender(rendered.status, rendered.file, options.outputPath, err);
}

int renderStems(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    const std::optional<std::string> soundFont = renderSoundFont(options, err);
    if (!soundFont) {
        return kExitUsage;
    }
    const std::vector<LineEvent> events =
        buildLineEvents(piece->settings, piece->score, piece->random);

    const InterruptGuard interrupts;
    StemsRenderResult rendered;
    {
        ProgressLine progress(err, options.outputPath);
        rendered = renderStemFiles(options.outputPath, *stemsFormat(options), *soundFont,
                                   piece->settings, events, [&progress](double done) {
                                       progress.show(done);
                                       return !InterruptGuard::requested();
                                   });
    }
    if (rendered.status == RenderStatus::Written && rendered.gainDb < 0.0) {
        err << "tarnwick: the stems are " << std::fixed << std::setprecision(1) << -rendered.gainDb
            << " dB quieter than the mix, so that none peaks above -1 dBFS\n";
    }
    return reportRender(rendered.status, rendered.file, "the stems in " + options.outputPath, err);
}

UsageProblem checkStemsOptions(const CommandOptions& options) {
    if (!stemsFormat(options)) {
        return "--format needs wav, flac or ogg, not '" + *options.audioFormat + "'";
    }
    return std::nullopt;
}

UsageProblem checkRenderOptions(const CommandOptions& options) {
    if (!audioFormatForPath(options.outputPath)) {
        return "--render-audio: " + std::string(kAudioExtensionsReason) + ", not '" +
               options.outputPath + "'";
    }
    return std::nullopt;
}

} // namespace tarnwick
