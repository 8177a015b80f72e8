#include "window/audio_render_dialog.h"

#include <atomic>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include "synth/audio_render.h"

namespace tarnwick {

namespace {

constexpr int kSteps = 1000;        // the progress bar's resolution
constexpr int kPollMs = 30;         // how often the bar follows the render
constexpr int kBackgroundNice = 10; // the render yields to the performance

// Runs `render` on a thread of its own, at a lower priority, while a
// window-modal progress dialog follows it and offers to cancel; the render
// is told the share done and answers whether to go on.
void runWithProgress(QWidget* owner, const QString& title, const QString& name,
                     const std::function<void(const RenderProgress&)>& render) {
    std::atomic<int> step{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        // Nice is per thread on Linux, and FluidSynth's render threads, made
        // by this one, inherit it.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBackgroundNice);
        render([&](double done) {
            step.store(static_cast<int>(done * kSteps));
            return !cancel.load();
        });
        finished.store(true);
    });

    QProgressDialog progress(QObject::tr("Rendering %1...").arg(name), QObject::tr("Cancel"), 0,
                             kSteps, owner);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    // The loop runs until the thread has finished, also after a cancel, so no
    // tick waits on the thread.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        // Its button, Esc and its close box all cancel; so does anything
        // else that hides it.
        if (progress.wasCanceled() || !progress.isVisible()) {
            cancel.store(true);
        } else {
            progress.setValue(step.load());
        }
    });
    poll.start(kPollMs);
    progress.show();
    loop.exec();
    worker.join();
}

FileResult noSoundFont(const std::string& path) {
    return FileResult::failure(path,
                               "no General MIDI SoundFont found (install fluid-soundfont-gm)");
}

} // namespace

std::optional<FileResult> renderWithProgress(QWidget* owner, const std::string& path,
                                             const std::string& soundFont, SongSettings settings,
                                             std::vector<MidiEvent> events) {
    if (soundFont.empty()) {
        return noSoundFont(path);
    }
    AudioRenderResult result;
    runWithProgress(owner, QObject::tr("Save as Audio"),
                    QFileInfo(QString::fromStdString(path)).fileName(),
                    [&](const RenderProgress& progress) {
                        result = renderAudioFile(path, soundFont, settings, events, progress);
                    });
    if (result.status == RenderStatus::Cancelled) {
        return std::nullopt;
    }
    return result.file;
}

std::optional<StemsRenderResult> renderStemsWithProgress(QWidget* owner, const std::string& folder,
                                                         AudioFileFormat format,
                                                         const std::string& soundFont,
                                                         SongSettings settings,
                                                         std::vector<LineEvent> events) {
    if (soundFont.empty()) {
        return StemsRenderResult{RenderStatus::FontUnusable, noSoundFont(folder), 0.0, {}};
    }
    StemsRenderResult result;
    runWithProgress(
        owner, QObject::tr("Save Stems"),
        QObject::tr("the stems in %1").arg(QFileInfo(QString::fromStdString(folder)).fileName()),
        [&](const RenderProgress& progress) {
            result = renderStemFiles(folder, format, soundFont, settings, events, progress);
        });
    if (result.status == RenderStatus::Cancelled) {
        return std::nullopt;
    }
    return result;
}

} // namespace tarnwick
