#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "convert/OrderedPipeline.h"

namespace vantrel {
namespace {

struct Item {
    int number = -1;
    long square = 0;
    std::vector<char> payload;  // moved through the ring, as frames are
};

struct Outcome {
    std::vector<int> consumed;
    int produced = 0;
    int maxInFlight = 0;
    bool transformedElsewhere = false;
};

// Produces `count` numbers, squares them, collects them; stops after
// `stopAfter` consumed items when given.
Outcome run(unsigned threads, std::size_t window, int count, int stopAfter = -1) {
    Outcome result;
    std::atomic<int> inFlight{0};
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> elsewhere{false};
    runOrderedPipeline<Item>(
        threads, window,
        [&](Item& item) {
            if (result.produced == count) return false;
            item.number = result.produced++;
            item.payload.assign(64, 'x');
            result.maxInFlight = std::max(result.maxInFlight, ++inFlight);
            return true;
        },
        [&](Item& item) {
            if (std::this_thread::get_id() != caller) elsewhere = true;
            // Later items finish first now and then, so order must be restored.
            if (item.number % 7 == 0) std::this_thread::yield();
            item.square = long{item.number} * item.number;
        },
        [&](Item& item) {
            --inFlight;
            EXPECT_EQ(item.square, long{item.number} * item.number);
            EXPECT_EQ(item.payload.size(), 64u);
            result.consumed.push_back(item.number);
            return static_cast<int>(result.consumed.size()) != stopAfter;
        });
    result.transformedElsewhere = elsewhere;
    return result;
}

TEST(OrderedPipeline, ConsumesEveryItemInOrderWithBoundedItemsInFlight) {
    struct Case {
        unsigned threads;
        std::size_t window;
    };
    for (const Case c : {Case{1, 1}, Case{2, 4}, Case{8, 16}, Case{4, 1}}) {
        const Outcome result = run(c.threads, c.window, 1000);
        ASSERT_EQ(result.consumed.size(), 1000u) << c.threads;
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(result.consumed[i], i) << c.threads;
        EXPECT_LE(result.maxInFlight, static_cast<int>(std::max<std::size_t>(c.window, c.threads)));
        // One thread means no threads: everything happens on the caller's.
        EXPECT_EQ(result.transformedElsewhere, c.threads > 1) << c.threads;
    }
}

TEST(OrderedPipeline, NothingAtAll) {
    for (unsigned threads : {1u, 3u}) EXPECT_TRUE(run(threads, 6, 0).consumed.empty());
}

TEST(OrderedPipeline, AConsumerThatStopsEndsProduction) {
    for (unsigned threads : {1u, 2u, 8u}) {
        const Outcome result = run(threads, 2 * threads, 100000, 10);
        EXPECT_EQ(result.consumed.size(), 10u);
        EXPECT_LE(result.produced, 10 + static_cast<int>(2 * threads) + 1) << threads;
    }
}

TEST(OrderedPipeline, AnExceptionInAnyStageReachesTheCaller) {
    for (int stage = 0; stage < 3; ++stage) {
        for (unsigned threads : {1u, 2u}) {
            int produced = 0;
            auto failAt = [stage](int which, int number) {
                if (which == stage && number == 5) throw std::runtime_error("out of memory");
            };
            EXPECT_THROW(runOrderedPipeline<Item>(
                             threads, 4,
                             [&](Item& item) {
                                 failAt(0, produced);
                                 item.number = produced++;
                                 return produced < 1000;
                             },
                             [&](Item& item) { failAt(1, item.number); },
                             [&](Item& item) {
                                 failAt(2, item.number);
                                 return true;
                             }),
                         std::runtime_error)
                << stage << " " << threads;
        }
    }
}

}  // namespace
}  // namespace vantrel
