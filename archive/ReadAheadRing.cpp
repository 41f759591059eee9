// The reader thread and the hand-over of slots between it and the
// extracting thread.

#include "archive/ReadAheadRing.h"

#include <algorithm>

namespace qorlu {

CReadAheadRing::CReadAheadRing(std::vector<Span> spans, Reader read, std::size_t slots, std::uint32_t slotBytes)
    : m_spans(std::move(spans)), m_read(std::move(read)) {
    std::uint32_t largest = 1;
    for (const Span& span : m_spans) largest = std::max(largest, span.size);
    m_slotBytes = std::max<std::uint32_t>(1, std::min(slotBytes, largest));
    // Not zero-filled: every byte handed out was read first.
    m_slots.resize(std::max<std::size_t>(1, slots));
    for (Slot& slot : m_slots) slot.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(m_slotBytes);
    m_reader = std::thread([this] { ReadAll(); });
}

CReadAheadRing::~CReadAheadRing() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_slotFree.notify_one();
    m_reader.join();
}

void CReadAheadRing::ReadAll() {
    for (const Span& span : m_spans) {
        for (std::uint32_t done = 0; done < span.size;) {
            const std::uint32_t n = std::min(span.size - done, m_slotBytes);
            Slot* slot = nullptr;
            {
                std::unique_lock lock(m_mutex);
                if (!m_stop && m_filled - m_released == m_slots.size()) {
                    // Full: wait until half the slots are free, so that the
                    // two threads wake each other a few times per ring
                    // rather than once per piece.
                    m_readerWaiting = true;
                    m_slotFree.wait(lock, [&] { return m_stop || m_filled - m_released <= m_slots.size() / 2; });
                    m_readerWaiting = false;
                }
                if (m_stop) return;
                slot = &m_slots[m_filled % m_slots.size()];
            }
            // The slot is free: the extracting thread has handed it back and
            // does not look at it until it is counted as filled.
            bool ok = false;
            try {
                ok = m_read(span.offset + done, slot->bytes.get(), n);
            } catch (...) {
                ok = false; // a read that could not even start (no memory) is a failed read
            }
            bool wake = false;
            {
                std::lock_guard lock(m_mutex);
                slot->size = n;
                slot->ok = ok;
                ++m_filled;
                wake = m_takerWaiting;
            }
            if (wake) m_pieceReady.notify_one();
            done += n;
        }
    }
}

CReadAheadRing::Slot& CReadAheadRing::TakePiece() {
    std::unique_lock lock(m_mutex);
    if (m_holding) {
        ++m_released;
        m_holding = false;
        if (m_readerWaiting && m_filled - m_released <= m_slots.size() / 2) m_slotFree.notify_one();
    }
    if (m_filled == m_released) {
        m_takerWaiting = true;
        m_pieceReady.wait(lock, [this] { return m_filled > m_released; });
        m_takerWaiting = false;
    }
    m_holding = true;
    return m_slots[m_released % m_slots.size()];
}

CReadAheadRing::CEntryPieces CReadAheadRing::NextEntry() {
    const std::uint32_t size = m_nextSpan < m_spans.size() ? m_spans[m_nextSpan++].size : 0;
    return CEntryPieces(*this, size);
}

bool CReadAheadRing::CEntryPieces::Next(std::span<const std::uint8_t>& piece) {
    piece = {};
    if (m_left == 0) return true;
    const Slot& slot = m_ring.TakePiece();
    m_left -= slot.size;
    piece = {slot.bytes.get(), slot.size};
    return slot.ok;
}

CReadAheadRing::CEntryPieces::~CEntryPieces() {
    std::span<const std::uint8_t> ignored;
    while (m_left > 0) Next(ignored);
}

} // namespace qorlu
