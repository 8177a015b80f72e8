#pragma once
// Undo and redo over whole states: a command that is about to replace the
// state remembers the old one; undo and redo trade the state shown for the one
// before or after it.

#include <cstddef>
#include <deque>
#include <optional>
#include <utility>

namespace tarnwick {

inline constexpr std::size_t kUndoSteps = 100;

template <class State>
class UndoHistory {
  public:
    explicit UndoHistory(std::size_t capacity = kUndoSteps) : capacity_(capacity) {}

    // Called before a change: `before` becomes the state undo returns to, and
    // the states that redo would have brought back are gone.
    void remember(State before) {
        push(undo_, std::move(before));
        redo_.clear();
    }

    // The state before the shown one, which redo then returns from; nothing when
    // there is none.
    std::optional<State> undo(State shown) { return step(undo_, redo_, std::move(shown)); }

    // The state undo last left; nothing after a new change.
    std::optional<State> redo(State shown) { return step(redo_, undo_, std::move(shown)); }

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }

  private:
    void push(std::deque<State>& states, State state) {
        states.push_back(std::move(state));
        if (states.size() > capacity_) {
            states.pop_front(); // the oldest goes
        }
    }

    std::optional<State> step(std::deque<State>& from, std::deque<State>& to, State shown) {
        if (from.empty()) {
            return std::nullopt;
        }
        State target = std::move(from.back());
        from.pop_back();
        push(to, std::move(shown));
        return target;
    }

    std::size_t capacity_;
    std::deque<State> undo_;
    std::deque<State> redo_;
};

} // namespace tarnwick
