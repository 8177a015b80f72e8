#include "window/desktop_parts.h"

#include <QSettings>

#include "composition/random.h"
#include "outputs/output_factory.h"
#include "playback/qt_step_timer.h"
#include "window/watched_output.h"

namespace tarnwick {

MainDialogParts desktopParts() {
    MainDialogParts parts;
    // Outputs left behind close on the closer's thread; the last of them
    // when the window has gone.
    auto closer = std::make_shared<OutputCloser>();
    parts.openOutput = [closer](OutputPreferences& choice, bool atStart,
                                StatusReport report) -> std::unique_ptr<MidiOutput> {
        OutputOptions options;
        options.name = choice.output;
        options.soundFont = choice.soundFont;
        std::string note;
        auto device = atStart ? openRememberedOutput(options, note) : openMidiOutput(options);
        if (!note.empty()) {
            choice.output = std::string(kDefaultOutputName);
        }
        return std::make_unique<WatchedOutput>(std::move(device), std::move(report), note, closer);
    };
    parts.listOutputs = [] { return listMidiOutputs(Listing::Menu); };
    parts.makeTimer = [](TickHandler onTick) -> std::unique_ptr<StepTimer> {
        return std::make_unique<QtStepTimer>(std::move(onTick));
    };
    parts.randomSeed = tickCountMs();
    parts.preferences =
        std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("tarnwick"), QStringLiteral("tarnwick"));
    return parts;
}

} // namespace tarnwick
