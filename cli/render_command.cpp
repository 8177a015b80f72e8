#include "cli/render_command.h"

#include <iostream>
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

} // namespace

int renderAudio(const CommandOptions& options, std::ostream& /*out*/, std::ostream& err) {
    std::optional<Piece> piece = openSession(options, err);
    if (!piece) {
        return kExitUsage;
    }
    const std::string soundFont =
        options.soundFont.value_or(findSoundFont(defaultSoundFontPaths()));
    if (soundFont.empty()) {
        err << "tarnwick: no General MIDI SoundFont found (install fluid-soundfont-gm)\n";
        return kExitUsage;
    }
    if (!isReadableFile(soundFont)) {
        err << "tarnwick: cannot read the SoundFont " << soundFont << '\n';
        return kExitUsage;
    }
    const std::vector<MidiEvent> events =
        buildMidiEvents(piece->settings, piece->score, piece->random);

    const InterruptGuard interrupts;
    AudioRenderResult rendered;
    {
        ProgressLine progress(err, options.outputPath);
        rendered = renderAudioFile(options.outputPath, soundFont, piece->settings, events,
                                   [&progress](double done) {
                                       progress.show(done);
                                       return !InterruptGuard::requested();
                                   });
    }
    switch (rendered.status) {
    case RenderStatus::Written:
        return kExitSuccess;
    case RenderStatus::Cancelled:
        err << "tarnwick: interrupted; " << options.outputPath << " was not written\n";
        return kExitInterrupted;
    case RenderStatus::FontUnusable:
        err << "tarnwick: cannot load " << rendered.file.message() << '\n';
        return kExitUsage;
    case RenderStatus::CannotWrite:
        break;
    }
    return reportWrite(rendered.file, err);
}

UsageProblem checkRenderOptions(const CommandOptions& options) {
    if (!audioFormatForPath(options.outputPath)) {
        return "--render-audio: " + std::string(kAudioExtensionsReason) + ", not '" +
               options.outputPath + "'";
    }
    return std::nullopt;
}

} // namespace tarnwick
