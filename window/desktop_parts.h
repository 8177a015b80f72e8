#pragma once
// The parts the window plays with on a desktop: the default MIDI output (the
// built-in synthesiser, which loads its sound font in the background) and
// the Qt step timer; the recent files are kept in the user's settings.

#include "window/main_dialog.h"

namespace tarnwick {

MainDialogParts desktopParts();

} // namespace tarnwick
