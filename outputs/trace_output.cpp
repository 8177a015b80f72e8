#include "outputs/trace_output.h"

#include <ostream>

namespace tarnwick {

namespace {

void appendHexByte(std::string& text, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
}

} // namespace

std::string formatTraceLine(std::int64_t tick, std::uint32_t message) {
    std::string line = std::to_string(tick);
    appendHexByte(line, messageStatus(message));
    appendHexByte(line, messageData1(message));
    appendHexByte(line, messageData2(message));
    return line;
}

void TraceOutput::send(std::uint32_t message) {
    out_ << formatTraceLine(ticksPlayed_, message) << '\n';
}

} // namespace tarnwick
