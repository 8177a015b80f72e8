#include "playback/transport.h"

#include "composition/name_tables.h"
#include "composition/score.h"
#include "composition/song_settings.h"

namespace tarnwick {

void fillDrumNotes(const SongSettings& settings, Score& score) {
    for (std::size_t slot = 0; slot < kDrumSlotCount; ++slot) {
        score.drumNotes[slot] = drumNote(settings.drumKit[slot]);
    }
}

} // namespace tarnwick
