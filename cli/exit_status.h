#pragma once
// The exit statuses every command shares.

namespace tarnwick {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCannotWrite = 1;
// Also a settings file or SoundFont that cannot be read: nothing is written then.
inline constexpr int kExitUsage = 2;
// A render stopped by Ctrl-C (128 + SIGINT, as shells report it).
inline constexpr int kExitInterrupted = 130;

} // namespace tarnwick
