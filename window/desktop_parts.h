#pragma once
// The parts the window plays with on a desktop: the MIDI outputs of the
// output table (the built-in synthesiser, which loads its sound font in the
// background, by default), the Qt step timer, and the user's settings, where
// the output, its SoundFont, the clock and the recent files are kept.

#include "window/main_dialog.h"

namespace tarnwick {

MainDialogParts desktopParts();

} // namespace tarnwick
