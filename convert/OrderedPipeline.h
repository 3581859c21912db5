#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel {

// Runs the frames of one movie through three stages: `produce` makes the
// items one after the other on a thread of its own (reading names, or
// decoding a video, which only goes forward), `transform` works on up to
// `threads` items at once (decoding and encoding pictures), and `consume`
// takes them strictly in the order produced, on the calling thread (adding
// the tags to the movie). At most `window` items are in flight, so memory
// stays bounded whatever the movie's length.
//
//   bool produce(Item&)   fills the next item; false when there are no more
//   void transform(Item&)
//   bool consume(Item&)   false stops the run: nothing more is produced
//
// With one thread everything runs on the calling thread, item by item. An
// exception from any stage stops the run and is rethrown here.
//
// Threads with a mutex and condition variables rather than a task library:
// ThreadSanitizer then sees every hand-over, and the stages need nothing
// more.
template <typename Item, typename Produce, typename Transform, typename Consume>
void runOrderedPipeline(unsigned threads, std::size_t window, Produce produce, Transform transform,
                        Consume consume) {
    if (threads <= 1) {
        for (;;) {
            Item item;
            if (!produce(item)) return;
            transform(item);
            if (!consume(item)) return;
        }
    }
    if (window < threads) window = threads;

    enum class State { Empty, Produced, Working, Done };
    struct Slot {
        Item item;
        State state = State::Empty;
    };
    std::vector<Slot> ring(window);
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t produced = 0, taken = 0, consumed = 0;
    bool ended = false, stopping = false;
    std::exception_ptr failure;

    auto fail = [&](std::exception_ptr error) {
        const std::lock_guard lock(mutex);
        if (!failure) failure = error;
        stopping = true;
        changed.notify_all();
    };

    std::thread producer([&] {
        try {
            for (;;) {
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return stopping || produced - consumed < window; });
                    if (stopping) return;
                }
                Item item;
                const bool more = produce(item);
                const std::lock_guard lock(mutex);
                if (!more) {
                    ended = true;
                    changed.notify_all();
                    return;
                }
                Slot& slot = ring[produced % window];
                slot.item = std::move(item);
                slot.state = State::Produced;
                ++produced;
                changed.notify_all();
            }
        } catch (...) {
            fail(std::current_exception());
        }
    });

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back([&] {
            try {
                for (;;) {
                    Slot* slot = nullptr;
                    {
                        std::unique_lock lock(mutex);
                        changed.wait(lock, [&] { return stopping || taken < produced || ended; });
                        if (stopping || taken == produced) return;
                        slot = &ring[taken % window];
                        slot->state = State::Working;
                        ++taken;
                    }
                    transform(slot->item);
                    const std::lock_guard lock(mutex);
                    slot->state = State::Done;
                    changed.notify_all();
                }
            } catch (...) {
                fail(std::current_exception());
            }
        });
    }

    try {
        for (;;) {
            Slot* slot = nullptr;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stopping ||
                           (consumed < produced && ring[consumed % window].state == State::Done) ||
                           (ended && consumed == produced);
                });
                if (stopping || consumed == produced) break;
                slot = &ring[consumed % window];
            }
            const bool more = consume(slot->item);
            const std::lock_guard lock(mutex);
            // The item's buffers go now, not when the slot is next filled.
            slot->item = Item();
            slot->state = State::Empty;
            ++consumed;
            if (!more) stopping = true;
            changed.notify_all();
            if (!more) break;
        }
    } catch (...) {
        fail(std::current_exception());
    }

    producer.join();
    for (std::thread& worker : workers) worker.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace vantrel
