#include "window/audio_render_dialog.h"

#include <atomic>
#include <memory>
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

// What the render thread and the dialog share.
struct RenderShare {
    std::atomic<int> step{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    AudioRenderResult result;
};

} // namespace

std::optional<FileResult> renderWithProgress(QWidget* owner, const std::string& path,
                                             const std::string& soundFont, SongSettings settings,
                                             std::vector<MidiEvent> events) {
    if (soundFont.empty()) {
        return FileResult::failure(path,
                                   "no General MIDI SoundFont found (install fluid-soundfont-gm)");
    }
    auto share = std::make_shared<RenderShare>();
    std::thread worker([share, path, soundFont, settings, events = std::move(events)] {
        // Nice is per thread on Linux, and FluidSynth's render threads, made
        // by this one, inherit it.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kBackgroundNice);
        share->result = renderAudioFile(path, soundFont, settings, events, [&](double done) {
            share->step.store(static_cast<int>(done * kSteps));
            return !share->cancel.load();
        });
        share->finished.store(true);
    });

    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    QProgressDialog progress(QObject::tr("Rendering %1...").arg(name), QObject::tr("Cancel"), 0,
                             kSteps, owner);
    progress.setWindowTitle(QObject::tr("Save as Audio"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    // The loop runs until the thread has finished, also after a cancel, so no
    // tick waits on the thread.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (share->finished.load()) {
            loop.quit();
            return;
        }
        // Its button, Esc and its close box all cancel; so does anything
        // else that hides it.
        if (progress.wasCanceled() || !progress.isVisible()) {
            share->cancel.store(true);
        } else {
            progress.setValue(share->step.load());
        }
    });
    poll.start(kPollMs);
    progress.show();
    loop.exec();
    worker.join();

    if (share->result.status == RenderStatus::Cancelled) {
        return std::nullopt;
    }
    return share->result.file;
}

} // namespace tarnwick
