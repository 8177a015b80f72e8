#pragma once
// Audio threads ask the system to run them before ordinary work, as sound
// servers and synthesisers do: a period rendered late is a gap in the sound.

namespace tarnwick {

// Gives the calling thread a modest real-time priority where the system
// allows it (as root, or with a real-time limit granted to the user); else
// leaves it as it was. Returns whether it was raised.
bool raiseAudioThreadPriority();

} // namespace tarnwick
