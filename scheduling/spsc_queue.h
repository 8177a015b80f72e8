#pragma once
// A bounded queue between exactly one producer thread and one consumer thread,
// without locks: neither side ever waits for the other. Used to hand MIDI
// messages from the user-interface thread to the audio callback.

#include <array>
#include <atomic>
#include <cstddef>

namespace tarnwick {

template <typename T, std::size_t Capacity>
class SpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity must be a power of two");

  public:
    // Producer: appends a copy of `item`; false, and nothing changes, when full.
    bool tryPush(const T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity) {
            return false;
        }
        items_[tail & (Capacity - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer: the oldest item, or nullptr when empty. It stays valid, and in
    // the queue, until pop().
    const T* front() const {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) {
            return nullptr;
        }
        return &items_[head & (Capacity - 1)];
    }

    // Consumer: removes the oldest item; only after front() returned one.
    void pop() {
        head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Either side: a snapshot of the number of items.
    std::size_t size() const {
        return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
    }

    static constexpr std::size_t capacity() { return Capacity; }

  private:
    std::array<T, Capacity> items_{};
    // Counters of pushed and popped items; they only grow (and wrap together).
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace tarnwick
