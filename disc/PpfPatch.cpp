#include "disc/PpfPatch.h"

#include "format/ByteReader.h"
#include "format/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace qorlu::ppf {

namespace {

constexpr std::size_t kMagicSize = 5;
constexpr std::size_t kPpf12HeaderSize = 56; // magic, method, description
// The PPF 3.0 header's flags.
constexpr std::size_t kPpf3ImageTypeAt = 56;
constexpr std::size_t kPpf3ValidationFlagAt = 57;
constexpr std::size_t kPpf3UndoFlagAt = 58;
constexpr std::string_view kBeginDiz = "@BEGIN_FILE_ID.DIZ";
constexpr std::string_view kEndDiz = "@END_FILE_ID.DIZ";
// A trailer whose length field does not lead to its beginning is looked for
// this far back: file_id.diz texts are a few lines, never this long.
constexpr std::size_t kDizSearchReach = 64 * 1024;
// Encoded records are handed out once this many bytes have gathered.
constexpr std::size_t kOutputPiece = 1 << 20;

bool BytesAre(std::span<const std::uint8_t> file, std::size_t at, std::string_view text) {
    const auto bytes = CByteReader(file).Bytes(at, text.size());
    return bytes && std::memcmp(bytes->data(), text.data(), text.size()) == 0;
}

struct Layout {
    Version version;
    std::size_t recordsFrom;
    std::size_t offsetBytes; // 4 or 8
};

// The size of the length field that ends the file's file_id.diz trailer, 0
// when the file ends in none. PPF 2.0's field has 4 bytes. PPF 3.0's has 2,
// which some writers follow with 2 zero bytes. "@END_FILE_ID.DIZ" cannot
// begin both 18 and 20 bytes before the end of a file (the marker does not
// repeat itself 2 bytes on), so where it lies tells the forms apart.
std::size_t DizLengthField(std::span<const std::uint8_t> file, Version version) {
    const auto endsWith = [&file](std::size_t field) {
        return file.size() >= kEndDiz.size() + field && BytesAre(file, file.size() - field - kEndDiz.size(), kEndDiz);
    };
    switch (version) {
    case Version::V1:
        return 0;
    case Version::V2:
        return endsWith(4) ? 4 : 0;
    case Version::V3:
        if (endsWith(2)) return 2;
        return endsWith(4) && CByteReader(file).LE16(file.size() - 2) == 0 ? 4 : 0;
    }
    return 0;
}

// Where the records end: at the start of a whole file_id.diz trailer, or at
// the end of the file. A trailer's end marker with no beginning to match is
// a damaged trailer.
ParseResult FindTrailer(std::span<const std::uint8_t> file, const Layout& layout, std::size_t& recordsEnd) {
    ParseResult result;
    recordsEnd = file.size();
    const std::size_t field = DizLengthField(file, layout.version);
    if (field == 0) return result;
    const std::size_t tail = kEndDiz.size() + field;
    if (file.size() < layout.recordsFrom + kBeginDiz.size() + tail) return result;
    const std::size_t endMarker = file.size() - tail;
    const CByteReader reader(file);
    const std::size_t lengthField = endMarker + kEndDiz.size();
    // (The field lies inside the file: DizLengthField found it there.)
    const std::uint64_t textLength =
        field == 2 ? reader.LE16(lengthField).value_or(0) : reader.LE32(lengthField).value_or(0);
    std::optional<std::size_t> begin;
    if (textLength + kBeginDiz.size() <= endMarker - layout.recordsFrom) {
        const std::size_t at = endMarker - static_cast<std::size_t>(textLength) - kBeginDiz.size();
        if (BytesAre(file, at, kBeginDiz)) begin = at;
    }
    // Some writers count the text differently: the nearest beginning marker
    // before the end marker is the trailer's.
    const std::size_t lowest =
        std::max(layout.recordsFrom, endMarker > kDizSearchReach ? endMarker - kDizSearchReach : 0);
    for (std::size_t at = endMarker - kBeginDiz.size() + 1; !begin && at-- > lowest;) {
        if (BytesAre(file, at, kBeginDiz)) begin = at;
    }
    if (!begin) {
        result.problem = Problem::DamagedTrailer;
        result.at = endMarker;
        return result;
    }
    recordsEnd = *begin;
    const auto* text = reinterpret_cast<const char*>(file.data() + *begin + kBeginDiz.size());
    result.patch.fileIdDiz = std::string(text, endMarker - *begin - kBeginDiz.size());
    return result;
}

} // namespace

ParseResult Parse(std::span<const std::uint8_t> file) {
    ParseResult result;
    const auto fail = [&result](Problem problem, std::uint64_t at) {
        result.problem = problem;
        result.at = at;
        result.patch.records.clear();
        return result;
    };
    const CByteReader reader(file);
    if (!reader.Has(0, kMagicSize)) return fail(Problem::NotPpf, 0);
    Layout layout{};
    std::uint8_t method = 0;
    if (BytesAre(file, 0, "PPF10")) {
        layout = {Version::V1, kPpf12HeaderSize, 4};
        method = 0;
    } else if (BytesAre(file, 0, "PPF20")) {
        layout = {Version::V2, kPpf12HeaderSize + 4 + kValidationSize, 4};
        method = 1;
    } else if (BytesAre(file, 0, "PPF30")) {
        layout = {Version::V3, kPpf3HeaderSize, 8};
        method = 2;
    } else {
        return fail(Problem::NotPpf, 0);
    }
    const auto methodByte = reader.U8(kMagicSize);
    if (!methodByte) return fail(Problem::CutShort, file.size());
    if (*methodByte != method) return fail(Problem::DamagedHeader, kMagicSize);
    if (!reader.Has(0, layout.recordsFrom)) return fail(Problem::CutShort, file.size());

    Patch& patch = result.patch;
    patch.version = layout.version;
    const auto* description = reinterpret_cast<const char*>(file.data() + kMagicSize + 1);
    patch.description.assign(description, kDescriptionSize);
    const auto last = patch.description.find_last_not_of(' ');
    patch.description.resize(last == std::string::npos ? 0 : last + 1);

    if (layout.version == Version::V2) {
        patch.originalSize = reader.LE32(kPpf12HeaderSize).value_or(0);
        patch.validation = reader.Bytes(kPpf12HeaderSize + 4, kValidationSize).value_or(patch.validation);
    } else if (layout.version == Version::V3) {
        const std::uint8_t imageType = reader.U8(kPpf3ImageTypeAt).value_or(0);
        if (imageType != 0) {
            result.value = imageType;
            return fail(Problem::UnknownImageType, kPpf3ImageTypeAt);
        }
        patch.hasUndo = reader.U8(kPpf3UndoFlagAt).value_or(0) != 0;
        if (reader.U8(kPpf3ValidationFlagAt).value_or(0) != 0) {
            layout.recordsFrom += kValidationSize;
            const auto validation = reader.Bytes(kPpf3HeaderSize, kValidationSize);
            if (!validation) return fail(Problem::CutShort, file.size());
            patch.validation = *validation;
        }
    }

    std::size_t end = file.size();
    ParseResult trailer = FindTrailer(file, layout, end);
    if (trailer.problem != Problem::None) return fail(trailer.problem, trailer.at);
    patch.fileIdDiz = std::move(trailer.patch.fileIdDiz);

    const std::size_t copies = patch.hasUndo ? 2 : 1;
    const CByteReader records(file.first(end));
    for (std::size_t at = layout.recordsFrom; at < end;) {
        // A trailer's beginning where a record should start, with no whole
        // trailer at the end: the patch lost its end.
        if (layout.version != Version::V1 && BytesAre(file.first(end), at, kBeginDiz))
            return fail(Problem::DamagedTrailer, at);
        const std::optional<std::uint64_t> offset =
            layout.offsetBytes == 8 ? records.LE64(at) : std::optional<std::uint64_t>(records.LE32(at));
        const auto lengthByte = records.U8(at + layout.offsetBytes);
        if (!offset || !lengthByte) return fail(Problem::CutShort, at);
        Record record;
        record.offset = *offset;
        const std::size_t length = *lengthByte;
        const std::size_t bytesAt = at + layout.offsetBytes + 1;
        const auto bytes = records.Bytes(bytesAt, copies * length);
        if (!bytes) return fail(Problem::CutShort, at);
        record.newBytes = bytes->first(length);
        if (patch.hasUndo) record.oldBytes = bytes->subspan(length);
        patch.records.push_back(record);
        at = bytesAt + copies * length;
    }
    return result;
}

std::vector<std::uint8_t> Ppf3Header(std::string_view description, bool undo) {
    std::vector<std::uint8_t> header(kPpf3HeaderSize, 0);
    std::memcpy(header.data(), "PPF30", kMagicSize);
    header[5] = 2;
    std::fill(header.begin() + 6, header.begin() + 6 + kDescriptionSize, std::uint8_t{' '});
    std::memcpy(header.data() + 6, description.data(), std::min(description.size(), kDescriptionSize));
    header[kPpf3ImageTypeAt] = 0;      // a raw image
    header[kPpf3ValidationFlagAt] = 1; // the validation block follows
    header[kPpf3UndoFlagAt] = undo ? 1 : 0;
    header[59] = 0;
    return header;
}

RecordWriter::RecordWriter(bool undo, Output out) : m_undo(undo), m_out(std::move(out)) {
    m_buffer.reserve(kOutputPiece + 2 * (9 + kMaxRecordLength));
}

bool RecordWriter::Changed(std::uint64_t offset, const std::uint8_t* newBytes, const std::uint8_t* oldBytes,
                           std::size_t count) {
    m_changedBytes += count;
    while (count > 0 && !m_failed) {
        if (!m_open || offset != m_recordOffset + m_recordLength || m_recordLength == kMaxRecordLength) {
            if (m_open) Close();
            if (!Drain(kOutputPiece)) return false;
            m_recordAt = m_buffer.size();
            m_buffer.resize(m_recordAt + 9);
            WriteLE64(m_buffer.data() + m_recordAt, offset);
            m_recordOffset = offset;
            m_recordLength = 0;
            m_open = true;
        }
        const std::size_t n = std::min(count, kMaxRecordLength - m_recordLength);
        m_buffer.insert(m_buffer.end(), newBytes, newBytes + n);
        if (m_undo) std::memcpy(m_oldBytes + m_recordLength, oldBytes, n);
        m_recordLength += n;
        offset += n;
        newBytes += n;
        oldBytes += n;
        count -= n;
    }
    return !m_failed;
}

void RecordWriter::Close() {
    m_buffer[m_recordAt + 8] = static_cast<std::uint8_t>(m_recordLength);
    if (m_undo) m_buffer.insert(m_buffer.end(), m_oldBytes, m_oldBytes + m_recordLength);
    ++m_records;
    m_open = false;
}

bool RecordWriter::Drain(std::size_t above) {
    if (m_failed) return false;
    if (m_buffer.size() < above || m_buffer.empty()) return true;
    m_failed = !m_out(m_buffer);
    m_buffer.clear();
    return !m_failed;
}

bool RecordWriter::Finish() {
    if (m_open) Close();
    return Drain(1);
}

void ForEachDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n,
                       const std::function<void(std::size_t, std::size_t)>& run) {
    // Equal stretches are skipped a block at a time, with memcmp's vector
    // code; the block that differs is looked into a word, then a byte at a time.
    constexpr std::size_t kBlock = 1024;
    std::size_t i = 0;
    while (i < n) {
        while (i + kBlock <= n && std::memcmp(a + i, b + i, kBlock) == 0) i += kBlock;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) break;
        }
        while (i < n && a[i] == b[i]) ++i;
        if (i == n) return;
        const std::size_t start = i;
        while (i < n && a[i] != b[i]) ++i;
        run(start, i - start);
    }
}

} // namespace qorlu::ppf
