#include "controls/control_panel.h"

#include "controls/integer_text.h"

namespace tarnwick {

namespace {

// A text read takes at most this many bytes (of UTF-8), as a 64-character
// buffer with its terminator would.
constexpr std::size_t kTextReadLimit = 63;

} // namespace

std::uint32_t ControlPanel::readUnsigned(int id) const {
    return parseUnsignedText(wholeText(id));
}

std::int32_t ControlPanel::readSigned(int id) const {
    return parseSignedText(wholeText(id));
}

void ControlPanel::writeUnsigned(int id, std::int32_t value) {
    writeText(id, formatUnsignedText(value));
}

void ControlPanel::writeSigned(int id, std::int32_t value) {
    writeText(id, formatSignedText(value));
}

std::string ControlPanel::readText(int id) const {
    return wholeText(id).substr(0, kTextReadLimit);
}

} // namespace tarnwick
