#pragma once
// FluidSynth reports every failed attempt (an audio driver that cannot open, a
// note-off for a key that no longer sounds) on standard error. Tarnwick says
// in one status line what it plays through instead, so these reports are
// silenced, process-wide, the first time a synthesiser or driver is made;
// only FluidSynth's fatal messages still reach standard error.

namespace tarnwick {

void silenceFluidSynthLog();

} // namespace tarnwick
