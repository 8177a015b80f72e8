#include <gtest/gtest.h>

#include "ui/control_ids.h"
#include "ui/integer_text.h"
#include "ui/memory_panel.h"

namespace tarnwick {
namespace {

TEST(IntegerText, ReadsLikeTheDialogsIntegerBoxes) {
    struct Case {
        const char* text;
        std::uint32_t asUnsigned;
        std::int32_t asSigned;
    };
    for (const Case& c : {
             Case{"", 0, 0},
             Case{"abc", 0, 0},
             Case{"  42abc", 42, 42},
             Case{"\t 7 8", 7, 7},
             Case{"007", 7, 7},
             Case{"-5", 0, -5}, // the minus sign only on signed reads
             Case{"- 5", 0, 0}, // directly before the digits
             Case{"+5", 0, 0},
             Case{"2147483647", 2147483647u, 2147483647},
             Case{"2147483648", 2147483648u, 0}, // too large for a signed read
             Case{"-2147483648", 0, -2147483647 - 1},
             Case{"-2147483649", 0, 0},
             Case{"4294967295", 4294967295u, 0},
             Case{"4294967296", 0, 0}, // too large for either
             Case{"99999999999999999999999", 0, 0},
         }) {
        EXPECT_EQ(parseUnsignedText(c.text), c.asUnsigned) << '"' << c.text << '"';
        EXPECT_EQ(parseSignedText(c.text), c.asSigned) << '"' << c.text << '"';
    }
    EXPECT_EQ(formatUnsignedText(-1), "4294967295");
    EXPECT_EQ(formatUnsignedText(-2147483647 - 1), "2147483648");
    EXPECT_EQ(formatSignedText(-12), "-12");
}

TEST(MemoryPanel, HasTheDialogsControls) {
    const MemoryPanel panel;
    EXPECT_EQ(panel.itemCount(control::kScale), 19);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(panel.itemCount(control::kInstrument + k), 128);
    }
    for (int s = 0; s < 8; ++s) {
        EXPECT_EQ(panel.itemCount(control::kDrumSlot + s), 62);
        EXPECT_EQ(panel.readSelection(control::kDrumSlot + s), -1);
    }
    EXPECT_EQ(panel.itemCount(control::kSeed), 0);
}

TEST(MemoryPanel, ModelsTheControlsOperations) {
    MemoryPanel panel;
    panel.writeSelection(control::kScale, 18);
    EXPECT_EQ(panel.readSelection(control::kScale), 18);
    panel.writeSelection(control::kScale, 19); // outside the list: nothing selected
    EXPECT_EQ(panel.readSelection(control::kScale), -1);
    panel.writeSelection(control::kInstrument, -1);
    EXPECT_EQ(panel.readSelection(control::kInstrument), -1);

    panel.writeCheck(control::kHold, 5);
    EXPECT_EQ(panel.readCheck(control::kHold), 1);
    panel.writeCheck(control::kHold, 0);
    EXPECT_EQ(panel.readCheck(control::kHold), 0);

    panel.writeUnsigned(control::kVolume, -1);
    EXPECT_EQ(panel.readText(control::kVolume), "4294967295");
    EXPECT_EQ(panel.readUnsigned(control::kVolume), 4294967295u);
    panel.writeSigned(control::kTranspose, -7);
    EXPECT_EQ(panel.readSigned(control::kTranspose), -7);

    const std::string seventy(70, '1');
    panel.writeText(control::kSeed, seventy);
    EXPECT_EQ(panel.readText(control::kSeed), seventy.substr(0, 63));
    EXPECT_EQ(panel.fullText(control::kSeed), seventy);

    // A control the dialog does not have reads as empty and takes no writes.
    panel.writeText(999, "12");
    EXPECT_EQ(panel.readUnsigned(999), 0u);
    EXPECT_EQ(panel.readSelection(999), -1);
}

} // namespace
} // namespace tarnwick
