// Arbitrary text to the seed parse, checked against the C library's "%i"
// conversions up to the first NUL (values beyond 32 bits saturated), then
// through formatSeed and back, and through the in-memory panel.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "composition/song_settings.h"
#include "controls/control_ids.h"
#include "controls/controls_exchange.h"
#include "controls/memory_panel.h"
#include "controls/seed_text.h"

namespace {

using namespace tarnwick;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void compareWithTheLibrary(const std::string& text) {
    SeedValues ours;
    ours.fill(77);
    const int count = parseSeedText(text, ours);
    long long theirs[8] = {77, 77, 77, 77, 77, 77, 77, 77};
    require(count == std::sscanf(text.c_str(), "%lli %lli %lli %lli %lli %lli %lli %lli",
                                 &theirs[0], &theirs[1], &theirs[2], &theirs[3], &theirs[4],
                                 &theirs[5], &theirs[6], &theirs[7]));
    for (std::size_t i = 0; i < 8; ++i) {
        require(ours[i] == std::clamp<long long>(theirs[i],
                                                 std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max()));
    }
    SeedValues back;
    back.fill(5);
    require(count < 1 || parseSeedText(formatSeed(ours, count), back) == count);
    require(count < 1 || std::equal(ours.begin(), ours.begin() + count, back.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    compareWithTheLibrary(raw.substr(0, raw.find('\0')));
    MemoryPanel panel;
    panel.writeText(control::kSeed, raw);
    SongSettings settings;
    readControls(panel, settings);
    require(settings.seedCount >= -1 && settings.seedCount <= 8);
    return 0;
}
