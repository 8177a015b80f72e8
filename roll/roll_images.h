#pragma once
// The piano roll of one pass as the bytes of an image file, drawn at the
// images' size (kImageMetrics). The PNG draws text, so it needs a
// QGuiApplication, which may run on the offscreen platform.

#include <cstdint>
#include <vector>

#include "roll/roll_layout.h"
#include "roll/roll_picture.h"

namespace tarnwick {

// The layout both images use for the picture.
RollLayout imageLayout(const RollPicture& picture);

std::vector<std::uint8_t> rollSvg(const RollPicture& picture);

// Empty if the image could not be encoded.
std::vector<std::uint8_t> rollPng(const RollPicture& picture);

} // namespace tarnwick
