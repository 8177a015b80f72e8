#pragma once
// Starting and stopping the live performance.

namespace tarnwick {

struct SongSettings;
struct Score;

// The percussion key of each drum slot, from the slot's drum-table entry; an
// entry outside the table gives no hit.
void fillDrumNotes(const SongSettings& settings, Score& score);

} // namespace tarnwick
