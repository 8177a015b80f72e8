// What undo and the recent files remember.

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "controls/recent_files.h"
#include "controls/undo_history.h"

namespace tarnwick {
namespace {

// Each script is a row of calls: "m1" remembers 1; "u2:1" is an undo while 2
// is shown, which gives 1; "r0:" is a redo that gives nothing.
TEST(UndoHistory, StepsBackAndForwardAndForgetsRedoOnANewChange) {
    const char* const scripts[] = {
        "u0: r0:", "m0 m1 u2:1 u1:0 u0: r0:1 r1:2 r2:",
        "m0 u7:0 r0:7",                // redo brings back what the undo replaced
        "m0 m1 u2:1 m1 r5: u5:1 u1:0", // a change after an undo drops redo
    };
    for (const char* script : scripts) {
        UndoHistory<int> history;
        std::istringstream calls(script);
        for (std::string call; calls >> call;) {
            const int shown = call[1] - '0';
            if (call[0] == 'm') {
                history.remember(shown);
                continue;
            }
            const auto got = call[0] == 'u' ? history.undo(shown) : history.redo(shown);
            EXPECT_EQ(got ? std::to_string(*got) : "", call.substr(3)) << script << ": " << call;
        }
    }
}

TEST(UndoHistory, KeepsTheNewestHundredSteps) {
    UndoHistory<int> history;
    for (int state = 0; state < 105; ++state) {
        history.remember(state);
    }
    int shown = 105;
    while (const auto before = history.undo(shown)) {
        shown = *before;
    }
    EXPECT_EQ(shown, 5);
}

TEST(RecentFiles, NewestFirstWithoutRepeatsAtMostTen) {
    RecentFiles recent({"/stored/a", "", "/stored/b", "/stored/a"});
    EXPECT_EQ(recent.paths(), (std::vector<std::filesystem::path>{"/stored/a", "/stored/b"}));
    for (int i = 0; i < 12; ++i) {
        recent.add("/" + std::to_string(i));
    }
    recent.add("/5");
    recent.remove("/9");
    EXPECT_EQ(recent.paths(), (std::vector<std::filesystem::path>{"/5", "/11", "/10", "/8", "/7",
                                                                  "/6", "/4", "/3", "/2"}));
}

} // namespace
} // namespace tarnwick
