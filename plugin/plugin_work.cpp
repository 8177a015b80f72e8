#include "plugin/plugin_work.h"

#include "composition/canon_generator.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "files/settings_file.h"
#include "playback/transport.h"

namespace tarnwick::plugin {

bool doWork(const WorkRequest& request, WorkResponse& response) {
    SongSettings settings = request.settings;
    response.generation = request.generation;
    response.loaded = request.kind == WorkRequest::Kind::LoadFile;
    if (response.loaded && !loadSettingsFile(request.path.data(), settings).ok()) {
        return false;
    }
    // Shown in the window's controls and read back: the one place of the
    // ranges, the seed text's rules included.
    MemoryPanel panel;
    writeControls(settings, panel);
    readControls(panel, settings);
    response.settings = settings;
    generateScore(settings, response.score);
    fillDrumNotes(settings, response.score);
    return true;
}

} // namespace tarnwick::plugin
