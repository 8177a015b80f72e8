// What undo and the recent files remember: the undo history over whole states,
// the snapshot of every control, and the list of settings files used last.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/control_ids.h"
#include "controls/memory_panel.h"
#include "controls/panel_snapshot.h"
#include "controls/recent_files.h"
#include "controls/undo_history.h"

namespace tarnwick {
namespace {

// One call on an UndoHistory<int>: 'm' remember(shown), 'u' undo(shown),
// 'r' redo(shown), and what undo or redo should hand back.
struct HistoryStep {
    char call;
    int shown;
    std::optional<int> expected = std::nullopt;
};

TEST(UndoHistory, StepsBackAndForwardAndForgetsRedoOnANewChange) {
    struct Case {
        const char* name;
        std::vector<HistoryStep> steps;
    };
    const Case cases[] = {
        {"nothing to step to at first", {{'u', 0}, {'r', 0}}},
        {"back to the start and forward to the end",
         {{'m', 0},
          {'m', 1},
          {'u', 2, 1},
          {'u', 1, 0},
          {'u', 0},
          {'r', 0, 1},
          {'r', 1, 2},
          {'r', 2}}},
        {"redo brings back what was shown at the undo, typing included",
         {{'m', 0}, {'u', 7, 0}, {'r', 0, 7}}},
        {"a change after an undo drops the redo states",
         {{'m', 0}, {'m', 1}, {'u', 2, 1}, {'m', 1}, {'r', 5}, {'u', 5, 1}, {'u', 1, 0}}},
    };
    for (const Case& c : cases) {
        UndoHistory<int> history;
        for (const HistoryStep& step : c.steps) {
            if (step.call == 'm') {
                history.remember(step.shown);
                continue;
            }
            const auto got = step.call == 'u' ? history.undo(step.shown) : history.redo(step.shown);
            EXPECT_EQ(got, step.expected) << c.name << ": " << step.call << step.shown;
        }
    }
}

TEST(UndoHistory, KeepsTheNewestHundredSteps) {
    UndoHistory<int> history;
    const int changes = static_cast<int>(kUndoSteps) + 5;
    for (int state = 0; state < changes; ++state) {
        history.remember(state);
    }
    int shown = changes;
    for (int expected = changes - 1; expected >= 5; --expected) {
        ASSERT_EQ(history.undo(shown), expected);
        shown = expected;
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(history.redo(shown), 6); // the way forward is whole
}

TEST(PanelSnapshot, PutsBackEveryControlExactly) {
    MemoryPanel panel;
    const std::string longSeed(80, '7'); // more than a read takes
    panel.writeText(control::kSeed, longSeed);
    panel.writeText(control::kVolume + 2, "abc");
    panel.writeSelection(control::kInstrument + 1, 40);
    panel.writeSelection(control::kDrumSlot + 7, 3);
    panel.writeCheck(control::kPortamento + 2, 1);
    const PanelSnapshot taken = capturePanel(panel);

    MemoryPanel other;
    restorePanel(taken, other);
    EXPECT_EQ(capturePanel(other), taken);
    EXPECT_EQ(other.wholeText(control::kSeed), longSeed);
    EXPECT_EQ(other.readSelection(control::kDrumSlot + 7), 3);
    EXPECT_EQ(other.readCheck(control::kPortamento + 2), 1);
    EXPECT_EQ(taken.texts.size() + taken.selections.size() + taken.checks.size(), 40u)
        << "every edit, combo box and check box of the dialog";
}

std::vector<std::filesystem::path> paths(std::initializer_list<const char*> names) {
    return {names.begin(), names.end()};
}

TEST(RecentFiles, NewestFirstWithoutRepeatsAndAtMostTen) {
    struct Case {
        const char* name;
        std::vector<std::filesystem::path> stored;
        std::vector<std::filesystem::path> added;
        std::vector<std::filesystem::path> removed;
        std::vector<std::filesystem::path> expected;
    };
    const auto numbered = [](int from, int to) {
        std::vector<std::filesystem::path> list;
        for (int i = from; i <= to; ++i) {
            list.emplace_back("/s/" + std::to_string(i) + ".tarn");
        }
        return list;
    };
    std::vector<std::filesystem::path> newestEleven = numbered(1, 11);
    std::reverse(newestEleven.begin(), newestEleven.end());
    newestEleven.pop_back();
    const Case cases[] = {
        {"added in order", {}, paths({"/a", "/b", "/c"}), {}, paths({"/c", "/b", "/a"})},
        {"used again moves to the front", {}, paths({"/a", "/b", "/a"}), {}, paths({"/a", "/b"})},
        {"the eleventh drops the oldest", {}, numbered(1, 11), {}, newestEleven},
        {"a removed one goes, the order stays",
         paths({"/a", "/b", "/c"}),
         {},
         paths({"/b", "/x"}),
         paths({"/a", "/c"})},
        {"a stored list loses repeats, blanks and the surplus",
         paths({"/a", "", "/b", "/a"}),
         {},
         {},
         paths({"/a", "/b"})},
        {"a stored list keeps its newest ten", numbered(1, 12), {}, {}, numbered(1, 10)},
    };
    for (const Case& c : cases) {
        RecentFiles recent(c.stored);
        for (const auto& path : c.added) {
            recent.add(path);
        }
        for (const auto& path : c.removed) {
            recent.remove(path);
        }
        EXPECT_EQ(recent.paths(), c.expected) << c.name;
    }
}

} // namespace
} // namespace tarnwick
