#include "window/desktop_parts.h"

#include <QSettings>

#include "composition/random.h"
#include "outputs/output_factory.h"
#include "playback/qt_step_timer.h"
#include "window/watched_output.h"

namespace tarnwick {

MainDialogParts desktopParts() {
    MainDialogParts parts;
    parts.openOutput = [](StatusReport report) -> std::unique_ptr<MidiOutput> {
        return std::make_unique<WatchedOutput>(openMidiOutput(OutputOptions{}), std::move(report));
    };
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
