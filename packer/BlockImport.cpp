#include "packer/BlockImport.h"

#include "format/ByteReader.h"
#include "packer/BlockFormat.h"
#include "io/BinaryFile.h"
#include "format/ByteOrder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <vector>

namespace qorlu {

namespace {

constexpr const char* kNotExtracted = "not a extracted file!";
constexpr const char* kCannotRead = "can not read original compressed file!";
constexpr const char* kNotCompressed = "the target is not a zlib compressed file.";
constexpr const char* kIndexError = "index error.";
constexpr const char* kCompressFailed = "compress failed!";
constexpr const char* kCannotWrite = "can not open original compressed file!";
constexpr const char* kDone = "OK!";

// "_" and up to three characters of number.
constexpr std::size_t kSuffixLength = 4;
constexpr int kCompressionLevel = 9;
constexpr std::uint64_t kStreamAlignment = 16;
constexpr std::uint64_t kWordMax = std::numeric_limits<std::uint32_t>::max();

using Bytes = std::span<const std::uint8_t>;

void Fail(IMessageSink& owner, std::string text) { owner.Show(WindowNotice(std::move(text), Outcome::Failure)); }

bool IsFormatBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool HasSignatureAfterHeader(Bytes bytes, std::uint64_t header) {
    const auto signature = CByteReader(bytes).Bytes(header + 16, kBlockSignatureSize); // after the four header words
    return signature && std::memcmp(signature->data(), kBlockSignature, kBlockSignatureSize) == 0;
}

// Where the new stream goes and what follows it.
struct ImportTarget {
    std::uint64_t headerOffset = 0;
    // Multi-block containers only: the stream is padded, and the index moves.
    bool indexed = false;
    BlockIndex index;
    std::uint64_t block = 0;
    // Set when a table entry follows the block: the rest of the container
    // starts there (T = R + e[i+1]) and the old stream had room D.
    std::optional<std::uint64_t> tailOffset;
    std::uint64_t room = 0;
};

// Checks the index before anything is read or written: the whole table lies
// inside the file and ahead of the first block it lists, the entries ascend
// in table order and stay inside the file, every entry of a block (all but
// an extra last one) names a header followed by the signature, and block i's
// header fits before the entry that follows it. Moving every later entry,
// and the bytes from entry i + 1 on, by the same amount is sound only then;
// an entry that names no block would cut the container in the wrong place.
std::optional<ImportTarget> PlanIndexedImport(Bytes bytes, const BlockIndex& index, std::uint64_t blockCount,
                                              std::uint64_t block) {
    const std::uint64_t n = index.entryCount;
    const std::uint64_t r = index.recordOffset;
    const CByteReader reader(bytes);
    if (block >= n || !reader.Has(index.tableOffset, 4 * n)) return std::nullopt;

    std::vector<std::uint32_t> entries(static_cast<std::size_t>(n));
    for (std::uint64_t k = 0; k < n; ++k) {
        entries[k] = ReadTableEntry(bytes, index, k).value_or(0);
        if (!reader.Has(r + entries[k], 0)) return std::nullopt;
        if (k > 0 && entries[k] <= entries[k - 1]) return std::nullopt;
        if (k < blockCount && !HasSignatureAfterHeader(bytes, r + entries[k])) return std::nullopt;
    }
    if (index.tableOffset + 4 * n > r + entries[0]) return std::nullopt;

    ImportTarget target;
    target.headerOffset = r + entries[block];
    target.indexed = true;
    target.index = index;
    target.block = block;
    if (!reader.Has(target.headerOffset, kBlockHeaderSize)) return std::nullopt;
    if (block + 1 < n) {
        const std::uint64_t next = entries[block + 1];
        if (next - entries[block] < kBlockHeaderSize) return std::nullopt;
        target.tailOffset = r + next;
        target.room = next - entries[block] - kBlockHeaderSize;
    }
    return target;
}

// Adds P - D to every table entry after the block. False, with nothing
// changed, when an entry would no longer fit its 32-bit word.
bool MoveLaterEntries(std::span<std::uint8_t> bytes, const ImportTarget& target, std::uint64_t padded) {
    const BlockIndex& index = target.index;
    // The table was checked whole by PlanIndexedImport.
    for (std::uint64_t k = target.block + 1; k < index.entryCount; ++k) {
        const auto entry = ReadTableEntry(bytes, index, k);
        if (!entry || *entry + padded - target.room > kWordMax) return false;
    }
    for (std::uint64_t k = target.block + 1; k < index.entryCount; ++k) {
        // Every later entry is at least e[i] + 32 + D, so this never goes below zero.
        const std::uint32_t entry = ReadTableEntry(bytes, index, k).value_or(0);
        WriteLE32(bytes.data() + index.tableOffset + 4 * k, static_cast<std::uint32_t>(entry + padded - target.room));
    }
    return true;
}

} // namespace

std::optional<int> ParseBlockNumber(std::string_view droppedPath) {
    const std::string_view tail = droppedPath.substr(droppedPath.size() - std::min(droppedPath.size(), kSuffixLength));
    if (tail.empty() || tail.front() != '_') return std::nullopt;

    std::size_t at = 1;
    while (at < tail.size() && IsFormatBlank(tail[at])) ++at;
    bool negative = false;
    if (at < tail.size() && (tail[at] == '+' || tail[at] == '-')) negative = tail[at++] == '-';
    int value = 0;
    bool anyDigit = false;
    while (at < tail.size() && tail[at] >= '0' && tail[at] <= '9') {
        value = value * 10 + (tail[at++] - '0');
        anyDigit = true;
    }
    if (negative) value = -value;
    if (!anyDigit || value == -1) return std::nullopt;
    return value;
}

std::string ContainerPathOf(const std::string& droppedPath) {
    return droppedPath.substr(0, droppedPath.size() - std::min(droppedPath.size(), kSuffixLength));
}

namespace {

void ImportBlockSteps(IMessageSink& owner, const std::string& path) {
    const auto number = ParseBlockNumber(path);
    if (!number) {
        Fail(owner, kNotExtracted);
        return;
    }
    const std::string containerPath = ContainerPathOf(path);

    // A rewrite's temporary is never a container; what killed rewrites left
    // behind goes before the container is read.
    if (IsRewriteTemporary(containerPath)) {
        Fail(owner, kCannotRead);
        return;
    }
    // Held until the rewrite has replaced the container: a second rewrite
    // waits for it and then works on its result.
    ContainerLock lock;
    if (lock.Take(containerPath, LockKind::Exclusive) == LockedOpen::InUse) {
        Fail(owner, InUseByAnotherProgram(containerPath));
        return;
    }
    WholeFile container = LoadWholeFile(containerPath);
    if (container.status == WholeFileStatus::TooLarge) {
        Fail(owner, CanNotReadFile(containerPath));
        return;
    }
    if (!container.Ok()) {
        Fail(owner, kCannotRead);
        return;
    }
    std::vector<std::uint8_t>& image = container.bytes;

    const BlockScanResult scan = ScanBlocks(image);
    if (scan.count == 0) {
        Fail(owner, kNotCompressed);
        return;
    }
    if (*number > 0 && static_cast<std::uint64_t>(*number) > scan.count - 1) {
        Fail(owner, kIndexError);
        return;
    }

    ImportTarget target;
    if (scan.count == 1) {
        // The one block the scan found; the number has served its purpose.
        target.headerOffset = scan.lastStreamOffset - kBlockHeaderSize;
    } else {
        if (*number < 0) {
            Fail(owner, kIndexError);
            return;
        }
        const auto index = FindBlockIndex(image, scan);
        if (!index) {
            Fail(owner, kNotCompressed);
            return;
        }
        const auto planned = PlanIndexedImport(image, *index, scan.count, static_cast<std::uint64_t>(*number));
        if (!planned) {
            Fail(owner, kIndexError);
            return;
        }
        target = *planned;
    }

    std::optional<std::vector<std::uint8_t>> dropped = ReadWholeFile(path);
    if (!dropped) {
        Fail(owner, CanNotReadFile(path));
        return;
    }
    const std::uint64_t unpackedSize = dropped->size();

    // At least zlib's bound for the input, so that any file fits, empty and
    // one-byte files included; the header's size words cap both lengths at
    // 32 bits.
    std::vector<std::uint8_t> stream;
    uLongf streamSize = 0;
    int rc = Z_MEM_ERROR;
    if (unpackedSize <= kWordMax) {
        try {
            stream.assign(std::max<std::size_t>(2 * dropped->size(), compressBound(static_cast<uLong>(unpackedSize))),
                          0);
            streamSize = static_cast<uLongf>(stream.size());
            rc = compress2(stream.data(), &streamSize, dropped->data(), static_cast<uLong>(unpackedSize),
                           kCompressionLevel);
        } catch (const std::bad_alloc&) {
            rc = Z_MEM_ERROR;
        }
    }
    if (rc != Z_OK || streamSize > kWordMax) {
        Fail(owner, kCompressFailed);
        return;
    }
    dropped.reset();

    // P: the stream and 1 to 16 zero bytes, so the next header stays on a
    // multiple of 16 (a stream of exactly 32 bytes is followed by 16 zeros).
    const std::uint64_t padded = target.indexed ? (streamSize / kStreamAlignment + 1) * kStreamAlignment : streamSize;
    if (target.indexed && target.tailOffset && !MoveLaterEntries(image, target, padded)) {
        Fail(owner, kIndexError);
        return;
    }
    WriteLE32(image.data() + target.headerOffset + 4, static_cast<std::uint32_t>(streamSize));
    WriteLE32(image.data() + target.headerOffset + 8, static_cast<std::uint32_t>(unpackedSize));

    static constexpr std::array<std::uint8_t, kStreamAlignment> kZeros{};
    const Bytes all(image);
    std::vector<Bytes> parts;
    parts.push_back(all.first(static_cast<std::size_t>(target.headerOffset + kBlockHeaderSize)));
    parts.push_back(Bytes(stream).first(streamSize));
    parts.push_back(Bytes(kZeros).first(static_cast<std::size_t>(padded - streamSize)));
    if (target.tailOffset) parts.push_back(all.subspan(static_cast<std::size_t>(*target.tailOffset)));

    if (!ReplaceFileSafely(containerPath, parts)) {
        Fail(owner, kCannotWrite);
        return;
    }
    owner.Show(WindowNotice(kDone, Outcome::Success));
}

} // namespace

void ImportBlock(IMessageSink& owner, const std::string& path) {
    // The container, the dropped file and the stream buffer are checked
    // where they are allocated; this catches what is left (the index plan,
    // the list of parts), before anything has been written.
    try {
        ImportBlockSteps(owner, path);
    } catch (const std::bad_alloc&) {
        Fail(owner, CanNotReadFile(path));
    }
}

} // namespace qorlu
