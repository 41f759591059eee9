#include "packer/BlockExport.h"

#include "packer/BlockFormat.h"
#include "shell/BinaryFile.h"
#include "shell/ByteOrder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

namespace qorlu {

namespace {

constexpr const char* kNotCompressed = "this is not a zlib compressed file.";
constexpr const char* kDecompressError = "decompress error!";
constexpr const char* kDone = "OK!";

void Fail(IMessageSink& owner, std::string text) {
    owner.Show(WindowNotice(std::move(text), Outcome::Failure));
}

// Where every block to export lies, in output order, with header and stream
// checked against the buffer. Nothing when a size or table entry points
// outside it.
std::optional<std::vector<BlockLocation>> CollectBlocks(std::span<const std::uint8_t> bytes,
                                                        const BlockScanResult& scan,
                                                        const BlockIndex* index) {
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

std::uint64_t BufferSizeFor(const BlockLocation& block) {
    return std::min<std::uint64_t>(block.unpackedSize, MaxInflatedSize(block.packedSize));
}

} // namespace

std::string NumberedBlockName(const std::string& containerPath, std::uint64_t number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%03llu", static_cast<unsigned long long>(number));
    return containerPath + suffix;
}

std::uint64_t MaxInflatedSize(std::uint32_t packedSize) {
    return std::uint64_t{packedSize} * 1032 + 1032;
}

void ExportBlocks(IMessageSink& owner, const std::string& path) {
    std::optional<std::vector<std::uint8_t>> container;
    try {
        container = ReadWholeFile(path);
    } catch (const std::bad_alloc&) {
        container.reset();
    }
    if (!container) {
        Fail(owner, "can not read file:\n" + path);
        return;
    }
    const std::span<const std::uint8_t> bytes(*container);

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

    // Two buffers, each as large as the largest block needs: while one
    // block's file is written on a helper thread, the next block is inflated
    // into the other. Files still appear in block order, a failure stops
    // everything after it as if the blocks went one by one, and the helper
    // has finished before any box is shown.
    std::uint64_t largest = 0;
    for (const auto& block : *blocks) largest = std::max(largest, BufferSizeFor(block));
    std::unique_ptr<std::uint8_t[]> buffers[2];
    try {
        for (auto& buffer : buffers) {
            buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(largest));
        }
    } catch (const std::bad_alloc&) {
        Fail(owner, kDecompressError);
        return;
    }

    std::future<bool> writing; // the file of block j - 1, while block j inflates
    std::string writingName;
    for (std::size_t j = 0; j < blocks->size(); ++j) {
        const BlockLocation& block = (*blocks)[j];
        std::uint8_t* out = buffers[j % 2].get();
        uLongf produced = static_cast<uLongf>(BufferSizeFor(block));
        const int rc = uncompress(out, &produced, bytes.data() + block.StreamOffset(),
                                  static_cast<uLong>(block.packedSize));
        if (writing.valid() && !writing.get()) {
            Fail(owner, "can not write file:\n" + writingName);
            return;
        }
        if (rc != Z_OK) {
            Fail(owner, kDecompressError);
            return;
        }
        writingName = NumberedBlockName(path, j);
        const std::span<const std::uint8_t> data(out, produced);
        try {
            writing = std::async(std::launch::async,
                                 [name = writingName, data] { return WriteWholeFile(name, data); });
        } catch (const std::system_error&) {
            // No thread to be had: write it here and now.
            std::promise<bool> done;
            done.set_value(WriteWholeFile(writingName, data));
            writing = done.get_future();
        }
    }
    if (writing.valid() && !writing.get()) {
        Fail(owner, "can not write file:\n" + writingName);
        return;
    }
    owner.Show(WindowNotice(kDone, Outcome::Success));
}

} // namespace qorlu
