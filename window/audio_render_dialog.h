#pragma once
// "Save as Audio" on the desktop: the render runs on a thread of its own while
// a window-modal progress dialog shows how far it has come and offers to
// cancel. Timer ticks go on being delivered meanwhile, so playback goes on;
// the render runs at a lower priority than the performance.

#include <optional>
#include <string>
#include <vector>

#include "composition/song_settings.h"
#include "files/file_result.h"
#include "files/midi_events.h"
#include "synth/stem_render.h"

class QWidget;

namespace tarnwick {

// Renders the piece into `path` with `soundFont` (empty: none was found).
// Nothing when the user cancelled (no file is left then); otherwise the
// result of writing the file.
std::optional<FileResult> renderWithProgress(QWidget* owner, const std::string& path,
                                             const std::string& soundFont, SongSettings settings,
                                             std::vector<MidiEvent> events);

// Renders each line into a file of its own in `folder`, in the same way;
// nothing when the user cancelled.
std::optional<StemsRenderResult> renderStemsWithProgress(QWidget* owner, const std::string& folder,
                                                         AudioFileFormat format,
                                                         const std::string& soundFont,
                                                         SongSettings settings,
                                                         std::vector<LineEvent> events);

} // namespace tarnwick
