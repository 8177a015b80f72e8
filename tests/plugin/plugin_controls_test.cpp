#include <limits>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "composition/random.h"
#include "composition/song_settings.h"
#include "files/settings_file.h"
#include "plugin/plugin_controls.h"

namespace tarnwick::plugin {
namespace {

// Every field of the settings file but the version word and the reserved
// block is one control, and the controls in the file's order.
TEST(PluginControls, CoverEverySettingsFieldOnceInTheFilesOrder) {
    SongSettings settings;
    settings.reserved.fill(0);
    std::int32_t number = 0;
    std::set<std::string> symbols;
    for (const ControlInfo& control : controlTable()) {
        EXPECT_TRUE(symbols.insert(std::string(control.symbol)).second) << control.symbol;
        EXPECT_LE(control.minimum, control.start) << control.symbol;
        EXPECT_LE(control.start, control.maximum) << control.symbol;
        if (control.offset != kNoField) {
            setFieldValue(settings, control, 1000 + number);
            EXPECT_EQ(fieldValue(settings, control), 1000 + number);
            ++number;
        }
    }
    EXPECT_EQ(number, 48);
    const SettingsFileBytes bytes = encodeSettings(settings);
    for (std::int32_t i = 0; i < number; ++i) {
        const std::size_t at = 4 + 4 * static_cast<std::size_t>(i);
        EXPECT_EQ(bytes[at] | bytes[at + 1] << 8, 1000 + i) << "field " << i;
    }
    const auto& table = controlTable();
    EXPECT_EQ(table[0].symbol, "seedCount");
    EXPECT_EQ(table[8].symbol, "seed8");
    EXPECT_EQ(table[12].symbol, "instrument3");
    EXPECT_EQ(table[kStepsPerBeatControl].symbol, "stepsPerBeat");
    EXPECT_EQ(table[kRandomAllControl].symbol, "randomAll");
}

// The start values are the window's, but for the seed, which the window draws.
TEST(PluginControls, StartAsTheWindowDoes) {
    SongSettings fromTable;
    for (const ControlInfo& control : controlTable()) {
        setFieldValue(fromTable, control, control.start);
    }
    RandomGenerator random;
    SongSettings window;
    applyStartValues(window, random);
    fromTable.seed = window.seed;
    EXPECT_EQ(fromTable, window);
}

TEST(PluginControls, HostValuesBecomeWholeNumbers) {
    EXPECT_EQ(controlNumber(2.6f), 3);
    EXPECT_EQ(controlNumber(-1.4f), -1);
    EXPECT_EQ(controlNumber(1e20f), 2147483647);
    EXPECT_EQ(controlNumber(-1e20f), -2147483647 - 1);
    EXPECT_EQ(controlNumber(std::numeric_limits<float>::quiet_NaN()), 0);
}

} // namespace
} // namespace tarnwick::plugin
