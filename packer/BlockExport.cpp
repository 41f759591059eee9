#include "packer/BlockExport.h"

#include "packer/BlockFormat.h"
#include "io/BinaryFile.h"
#include "format/ByteOrder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace qorlu {

namespace {

constexpr const char* kNotCompressed = "this is not a zlib compressed file.";
constexpr const char* kDecompressError = "decompress error!";
constexpr const char* kDone = "OK!";

void Fail(IMessageSink& owner, std::string text) { owner.Show(WindowNotice(std::move(text), Outcome::Failure)); }

// Where every block to export lies, in output order, with header and stream
// checked against the buffer. Nothing when a size or table entry points
// outside it.
std::optional<std::vector<BlockLocation>> CollectBlocks(std::span<const std::uint8_t> bytes,
                                                        const BlockScanResult& scan, const BlockIndex* index) {
    std::vector<BlockLocation> blocks;
    if (index == nullptr) {
        const auto block = LocateBlock(bytes, scan.lastStreamOffset - kBlockHeaderSize);
        if (!block) return std::nullopt;
        blocks.push_back(*block);
        return blocks;
    }
    // The scan's count decides how many blocks go out; an extra table entry
    // (N = count + 1) marks what follows the last block and is not one.
    for (std::uint64_t j = 0; j < scan.count; ++j) {
        const auto entry = ReadTableEntry(bytes, *index, j);
        if (!entry) return std::nullopt;
        const auto block = LocateBlock(bytes, index->recordOffset + *entry);
        if (!block) return std::nullopt;
        blocks.push_back(*block);
    }
    return blocks;
}

// The whole container, read into a buffer that is not cleared first: the
// container is read once per export and clearing it costs as much as
// copying it in.
struct ContainerBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

std::optional<ContainerBytes> ReadContainer(const std::string& path, ContainerLock& lock, bool& inUse) {
    // A rewrite's temporary is never a container; what killed rewrites left
    // behind goes (under the lock) before the container is read.
    if (IsRewriteTemporary(path)) return std::nullopt;
    inUse = lock.Take(path, LockKind::Shared) == LockedOpen::InUse;
    if (inUse) return std::nullopt;
    BinaryFile file;
    if (!file.Open(path, BinaryFile::Mode::Read)) return std::nullopt;
    const auto length = file.Length();
    if (!length || *length > SIZE_MAX) return std::nullopt;
    ContainerBytes bytes;
    bytes.size = static_cast<std::size_t>(*length);
    try {
        bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (file.Read(bytes.data.get(), bytes.size) != bytes.size) return std::nullopt;
    return bytes;
}

std::uint64_t BufferSizeFor(const BlockLocation& block) {
    return std::min<std::uint64_t>(block.unpackedSize, MaxInflatedSize(block.packedSize));
}

} // namespace

std::string NumberedBlockName(const std::string& containerPath, std::uint64_t number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%03llu", static_cast<unsigned long long>(number));
    return containerPath + suffix;
}

std::uint64_t MaxInflatedSize(std::uint32_t packedSize) { return std::uint64_t{packedSize} * 1032 + 1032; }

namespace {

void ExportBlockSteps(IMessageSink& owner, const std::string& path) {
    ContainerLock lock;
    bool inUse = false;
    const std::optional<ContainerBytes> container = ReadContainer(path, lock, inUse);
    if (!container) {
        Fail(owner, inUse ? InUseByAnotherProgram(path) : CanNotReadFile(path));
        return;
    }
    const std::span<const std::uint8_t> bytes(container->data.get(), container->size);

    const BlockScanResult scan = ScanBlocks(bytes);
    if (scan.count == 0) {
        Fail(owner, kNotCompressed);
        return;
    }
    std::optional<BlockIndex> index;
    if (scan.count > 1) {
        index = FindBlockIndex(bytes, scan);
        if (!index) {
            Fail(owner, kNotCompressed);
            return;
        }
    }
    const auto blocks = CollectBlocks(bytes, scan, index ? &*index : nullptr);
    if (!blocks) {
        Fail(owner, kDecompressError);
        return;
    }

    // One buffer, as large as the largest block needs, serves every block:
    // each block is inflated and written while its bytes are still in the
    // processor's cache.
    std::uint64_t largest = 0;
    for (const auto& block : *blocks) largest = std::max(largest, BufferSizeFor(block));
    std::unique_ptr<std::uint8_t[]> out;
    try {
        out = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(largest));
    } catch (const std::bad_alloc&) {
        Fail(owner, kDecompressError);
        return;
    }

    for (std::size_t j = 0; j < blocks->size(); ++j) {
        const BlockLocation& block = (*blocks)[j];
        uLongf produced = static_cast<uLongf>(BufferSizeFor(block));
        const int rc =
            uncompress(out.get(), &produced, bytes.data() + block.StreamOffset(), static_cast<uLong>(block.packedSize));
        if (rc != Z_OK) {
            Fail(owner, kDecompressError);
            return;
        }
        const std::string name = NumberedBlockName(path, j);
        if (!WriteWholeFile(name, std::span<const std::uint8_t>(out.get(), produced))) {
            Fail(owner, CanNotWriteFile(name));
            return;
        }
    }
    owner.Show(WindowNotice(kDone, Outcome::Success));
}

} // namespace

void ExportBlocks(IMessageSink& owner, const std::string& path) {
    // The container and the inflate buffer are checked where they are
    // allocated; this catches what is left. Files already written stay.
    try {
        ExportBlockSteps(owner, path);
    } catch (const std::bad_alloc&) {
        Fail(owner, CanNotReadFile(path));
    }
}

} // namespace qorlu
