#include "archive/ReadAheadRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>

using namespace qorlu;

namespace {

// Archive byte at `offset`: distinct enough that a piece from the wrong
// place, or shifted, shows.
std::uint8_t ByteAt(std::uint32_t offset) { return static_cast<std::uint8_t>((offset * 2654435761u) >> 24); }

// Reads from the pattern, counting reads and how far ahead of the taker it
// ran; the read of `failAt` fails.
struct PatternReader {
    std::atomic<int> reads{0};
    std::atomic<int> taken{0};
    std::atomic<int> mostAhead{0};
    std::uint32_t failAt = UINT32_MAX;

    CReadAheadRing::Reader Function() {
        return [this](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count) {
            for (std::uint32_t i = 0; i < count; ++i) buffer[i] = ByteAt(offset + i);
            const int ahead = reads + 1 - taken;
            for (int seen = mostAhead; ahead > seen && !mostAhead.compare_exchange_weak(seen, ahead);) {}
            {
                const std::lock_guard lock(m_mutex);
                ++reads;
            }
            m_read.notify_all();
            return !(failAt >= offset && failAt < offset + count);
        };
    }

    // Waits until `n` reads have been made; false if the reader hangs (a
    // minute is only the guard against a test that never ends).
    bool WaitForReads(int n) {
        std::unique_lock lock(m_mutex);
        return m_read.wait_for(lock, std::chrono::minutes(1), [&] { return reads >= n; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_read;
};

struct RingCase {
    const char* what;
    std::vector<CReadAheadRing::Span> spans;
    std::size_t slots;
    std::uint32_t slotBytes;
};

} // namespace

TEST(ReadAheadRing, EveryEntryComesWholeInOrderInPiecesNoLargerThanASlot) {
    const RingCase cases[] = {
        {"one small entry", {{100, 10}}, 8, 64},
        {"entries larger than a slot, one slot", {{0, 1000}, {5000, 129}, {7, 64}}, 1, 64},
        {"empty entries between others", {{0, 0}, {10, 300}, {0, 0}, {0, 0}, {900, 1}}, 3, 128},
        {"many entries, more than the slots", std::vector<CReadAheadRing::Span>(50, {4096, 777}), 4, 256},
        {"only empty entries", {{0, 0}, {0, 0}}, 8, 64},
    };
    for (const RingCase& c : cases) {
        SCOPED_TRACE(c.what);
        PatternReader reader;
        CReadAheadRing ring(c.spans, reader.Function(), c.slots, c.slotBytes);
        for (const auto& span : c.spans) {
            auto pieces = ring.NextEntry();
            EXPECT_EQ(pieces.Left(), span.size);
            std::vector<std::uint8_t> got;
            std::span<const std::uint8_t> piece;
            while (pieces.Left() > 0) {
                ASSERT_TRUE(pieces.Next(piece));
                ++reader.taken;
                ASSERT_FALSE(piece.empty());
                EXPECT_LE(piece.size(), c.slotBytes);
                got.insert(got.end(), piece.begin(), piece.end());
            }
            ASSERT_EQ(got.size(), span.size);
            for (std::uint32_t i = 0; i < span.size; ++i) ASSERT_EQ(got[i], ByteAt(span.offset + i)) << i;
            EXPECT_TRUE(pieces.Next(piece)); // past the end: nothing more
            EXPECT_TRUE(piece.empty());
        }
        EXPECT_EQ(ring.NextEntry().Left(), 0u); // past the last span
        // Never more pieces read ahead of the taker than there are slots.
        EXPECT_LE(reader.mostAhead, static_cast<int>(c.slots));
    }
}

TEST(ReadAheadRing, AnEntryLetGoIsSkippedAndAFailedReadIsReportedForItsPieceOnly) {
    PatternReader reader;
    reader.failAt = 2000 + 150; // in the second piece of the third entry
    const std::vector<CReadAheadRing::Span> spans = {{0, 500}, {1000, 300}, {2000, 300}, {3000, 50}};
    CReadAheadRing ring(spans, reader.Function(), 2, 100);
    {
        auto skipped = ring.NextEntry(); // taken one piece, then let go
        std::span<const std::uint8_t> piece;
        ASSERT_TRUE(skipped.Next(piece));
    }
    { auto untouched = ring.NextEntry(); }
    auto failing = ring.NextEntry();
    std::vector<bool> results;
    std::span<const std::uint8_t> piece;
    while (failing.Left() > 0) results.push_back(failing.Next(piece));
    EXPECT_EQ(results, (std::vector<bool>{true, false, true}));
    auto last = ring.NextEntry();
    ASSERT_TRUE(last.Next(piece));
    ASSERT_EQ(piece.size(), 50u);
    EXPECT_EQ(piece[0], ByteAt(3000));
    EXPECT_EQ(piece[49], ByteAt(3049));
}

TEST(ReadAheadRing, GoingAwayEarlyStopsAReaderThatWaitsForASlot) {
    // A cancelled job lets the ring go with most of the image unread: the
    // reader, blocked on full slots, must end at once and read no further.
    // (A reader that does not end keeps the ring's destructor from returning,
    // and the test from ending.)
    PatternReader reader;
    {
        CReadAheadRing ring(std::vector<CReadAheadRing::Span>(1000, {0, 1024}), reader.Function(), 3, 1024);
        auto first = ring.NextEntry();
        std::span<const std::uint8_t> piece;
        ASSERT_TRUE(first.Next(piece));
        // The slot held and two read ahead fill the three slots; no slot
        // comes free while the first is held, so the reader now waits.
        ASSERT_TRUE(reader.WaitForReads(3));
    }
    EXPECT_EQ(reader.reads, 3) << "the reader read on after the ring went";
}
