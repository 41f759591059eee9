#pragma once
// Reading ahead of the writing during an extraction. A reader thread reads
// the entries' bytes, in the order they will be written, into a few fixed
// buffers (the slots); the extracting thread writes each piece straight out
// of its slot and hands the slot back. Reading the image and writing the
// files overlap, and memory stays at slots x slot size whatever the entries.
//
// The extracting thread takes the entries in the order of the spans it gave,
// every one of them, through NextEntry(); an entry it does not write is
// skipped by letting its CEntryPieces go.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace qorlu {

class CReadAheadRing {
public:
    // An entry's bytes in the archive (size 0: nothing is read for it).
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
    };
    // Reads `count` archive bytes at `offset` into `buffer`; false when they
    // could not all be read. Called on the reader thread only.
    using Reader = std::function<bool(std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count)>;

    static constexpr std::size_t kSlots = 8;
    static constexpr std::uint32_t kSlotBytes = 2 * 1024 * 1024;

    // Starts reading at once. Slots are no larger than the largest span.
    CReadAheadRing(std::vector<Span> spans, Reader read, std::size_t slots = kSlots,
                   std::uint32_t slotBytes = kSlotBytes);
    // Stops the reader (after the piece it is reading) and waits for it.
    ~CReadAheadRing();
    CReadAheadRing(const CReadAheadRing&) = delete;
    CReadAheadRing& operator=(const CReadAheadRing&) = delete;

    // One entry's pieces, in order. What is not taken is skipped when it goes.
    class CEntryPieces {
    public:
        // Handed out by NextEntry and kept where it lands.
        CEntryPieces(const CEntryPieces&) = delete;
        CEntryPieces& operator=(const CEntryPieces&) = delete;
        ~CEntryPieces();
        // The next piece once it is read (valid until the next call); false
        // when the reader could not read it. Empty once the entry is done.
        bool Next(std::span<const std::uint8_t>& piece);
        std::uint32_t Left() const { return m_left; }

    private:
        friend class CReadAheadRing;
        CEntryPieces(CReadAheadRing& ring, std::uint32_t size) : m_ring(ring), m_left(size) {}
        CReadAheadRing& m_ring;
        std::uint32_t m_left;
    };
    // The next span's pieces. Each span is taken once, in order; past the
    // last one an empty entry comes back.
    CEntryPieces NextEntry();

private:
    struct Slot {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint32_t size = 0;
        bool ok = false;
    };
    void ReadAll();
    // Waits for the next piece, handing back the slot of the one before.
    Slot& TakePiece();

    std::vector<Span> m_spans;
    std::size_t m_nextSpan = 0; // the extracting thread's
    Reader m_read;
    std::uint32_t m_slotBytes;
    std::vector<Slot> m_slots;

    std::mutex m_mutex;
    std::condition_variable m_slotFree;   // the reader waits on it
    std::condition_variable m_pieceReady; // the extracting thread waits on it
    bool m_readerWaiting = false;
    bool m_takerWaiting = false;
    std::uint64_t m_filled = 0;   // pieces read so far
    std::uint64_t m_released = 0; // pieces whose slot is free again
    bool m_holding = false;       // the extracting thread holds piece m_released
    bool m_stop = false;
    std::thread m_reader; // last: it starts once everything above is ready
};

} // namespace qorlu
