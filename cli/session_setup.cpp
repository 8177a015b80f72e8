#include "cli/session_setup.h"

#include "composition/canon_generator.h"
#include "composition/score.h"
#include "composition/song_settings.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "files/settings_file.h"
#include "playback/transport.h"

namespace tarnwick {

SettingsLoader settingsFileLoader(const std::optional<std::string>& path) {
    if (!path) {
        return {};
    }
    return [file = *path](SongSettings& settings) { return loadSettingsFile(file, settings); };
}

FileResult prepareSession(RandomGenerator& random, const SettingsLoader& load,
                          SongSettings& settings, Score& score) {
    settings = SongSettings{};
    score = Score{};
    applyStartValues(settings, random);
    if (load) {
        FileResult loaded = load(settings);
        if (!loaded.ok()) {
            return loaded;
        }
    }
    MemoryPanel panel;
    writeControls(settings, panel);
    readControls(panel, settings);
    generateScore(settings, score);
    fillDrumNotes(settings, score);
    return FileResult::success({});
}

} // namespace tarnwick
