// Arbitrary text to the seed parse. The C library's own "%i" conversions are
// the reference: for every text up to its first NUL the count and the values
// must agree, a value beyond 32 bits saturated (the library reads it into 64
// bits, saturating there). formatSeed's text must parse back to the values it
// shows, and the text read through the in-memory panel must never crash.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "composition/song_settings.h"
#include "ui/control_ids.h"
#include "ui/controls_exchange.h"
#include "ui/memory_panel.h"
#include "ui/seed_text.h"

namespace {

using namespace tarnwick;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::int32_t saturated(long long value) {
    return static_cast<std::int32_t>(std::clamp<long long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void compareWithTheLibrary(const std::string& text) {
    SeedValues ours;
    ours.fill(77);
    const int count = parseSeedText(text, ours);

    long long theirs[8] = {77, 77, 77, 77, 77, 77, 77, 77};
    const int theirCount =
        std::sscanf(text.c_str(), "%lli %lli %lli %lli %lli %lli %lli %lli", &theirs[0], &theirs[1],
                    &theirs[2], &theirs[3], &theirs[4], &theirs[5], &theirs[6], &theirs[7]);
    require(count == theirCount);
    for (std::size_t i = 0; i < 8; ++i) {
        require(ours[i] == saturated(theirs[i]));
    }

    if (count >= 1) {
        SeedValues back;
        back.fill(5);
        require(parseSeedText(formatSeed(ours, count), back) == count);
        require(std::equal(ours.begin(), ours.begin() + count, back.begin()));
    }
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
