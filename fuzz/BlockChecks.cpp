// The packer target: scan, index search and export of an arbitrary
// container; every exported block imported back; then an arbitrary file
// imported as block n.
//
// Input: 0 flags (unused), 1..2 block number (modulo 1000), 3..5 container
// length (at most what follows), then the container and the dropped file.

#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzWorkspace.h"
#include "packer/BlockExport.h"
#include "packer/BlockFormat.h"
#include "packer/BlockImport.h"
#include "tests/support/MessageRecorder.h"

#include <algorithm>

namespace qorlu::fuzz {

namespace {

// Exported blocks imported back one by one, each into the original container.
constexpr std::size_t kRoundTrips = 4;
// Table entries looked at by the format checks.
constexpr std::uint64_t kCheckedEntries = 4096;
constexpr const char* kContainerName = "DATA.BIN";

Finding CheckFormat(const Bytes& container) {
    const BlockScanResult scan = ScanBlocks(container);
    if (scan.count == 0) return {};
    if (scan.firstHeaderOffset % 16 != 0 || scan.firstHeaderOffset >= container.size())
        return "the scan names a first header outside the container";
    if (scan.lastStreamOffset > container.size()) return "the scan names a stream outside the container";
    if (scan.count == 1) {
        if (const auto block = LocateBlock(container, scan.lastStreamOffset - kBlockHeaderSize);
            block && block->StreamOffset() + block->packedSize > container.size())
            return "a located block reaches past the container";
        return {};
    }
    const auto index = FindBlockIndex(container, scan);
    if (!index) return {};
    if (index->recordOffset >= scan.firstHeaderOffset) return "the index record lies after the first block";
    for (std::uint64_t k = 0; k < std::min<std::uint64_t>(index->entryCount, kCheckedEntries); ++k) {
        const auto entry = ReadTableEntry(container, *index, k);
        if (!entry) break;
        if (index->tableOffset + 4 * k + 4 > container.size()) return "a table entry was read past the container";
        const auto block = LocateBlock(container, index->recordOffset + *entry);
        if (block && block->StreamOffset() + block->packedSize > container.size())
            return "a located block reaches past the container";
    }
    return {};
}

// The blocks a container exports, by number; nothing when the export fails.
std::optional<std::vector<Bytes>> Export(test::MessageRecorder& sink, const fs::path& root, Finding& finding) {
    const fs::path container = root / kContainerName;
    const auto before = GetFile(container);
    for (const auto& [key, bytes] : TakeSnapshot(root))
        if (key != kContainerName) fs::remove(root / key);
    sink.Clear();
    ExportBlocks(sink, container.string());
    const auto texts = sink.Texts();
    if (texts.size() != 1) {
        finding = "the export showed " + std::to_string(texts.size()) + " messages";
        return std::nullopt;
    }
    if (GetFile(container) != before) {
        finding = "the export changed the container";
        return std::nullopt;
    }
    const Snapshot files = TakeSnapshot(root);
    std::vector<Bytes> blocks;
    for (std::uint64_t k = 0;; ++k) {
        const auto it = files.find(fs::path(NumberedBlockName(kContainerName, k)).generic_string());
        if (it == files.end() || !it->second) break;
        blocks.push_back(*it->second);
    }
    if (files.size() != blocks.size() + 1) {
        finding = "the export wrote files that are not numbered blocks";
        return std::nullopt;
    }
    if (texts.front() != "OK!") return std::nullopt;
    return blocks;
}

// Imports `file` as block `number` into `original`: the container stays as
// it was, or (when it exported before) it exports again and block
// `number` comes out as `file`.
Finding ImportAndCheck(test::MessageRecorder& sink, const fs::path& root, const Bytes& original, std::uint64_t number,
                       const Bytes& file, std::size_t blockCount) {
    const fs::path container = root / kContainerName;
    for (const auto& [key, bytes] : TakeSnapshot(root))
        if (key != kContainerName) fs::remove(root / key);
    PutFile(container, original);
    const fs::path dropped = root / NumberedBlockName(kContainerName, number);
    PutFile(dropped, file);
    sink.Clear();
    ImportBlock(sink, dropped.string());
    const auto texts = sink.Texts();
    if (texts.size() != 1) return "the import showed " + std::to_string(texts.size()) + " messages";
    if (TakeSnapshot(root).size() != 2) return "the import left a file behind";
    const auto now = GetFile(container);
    if (!now) return "the container can no longer be read";
    if (texts.front() != "OK!") {
        if (*now != original) return "a refused import (" + texts.front() + ") changed the container";
        return {};
    }
    // A container whose other blocks never exported need not export now.
    if (blockCount == 0) return {};
    Finding finding;
    const auto blocks = Export(sink, root, finding);
    if (!finding.empty()) return finding;
    if (!blocks) return "the container no longer exports after importing block " + std::to_string(number);
    // With one block the number only names the file; the block is block 0.
    const std::uint64_t target = blockCount == 1 ? 0 : number;
    if (blocks->size() == blockCount && (target >= blocks->size() || (*blocks)[target] != file))
        return "block " + std::to_string(number) + " does not export as the file imported into it";
    return {};
}

} // namespace

Finding CheckBlocks(std::span<const std::uint8_t> input) {
    InputReader in(input);
    in.U8();
    const std::uint64_t number = in.U16() % 1000;
    const auto containerBytes = in.Take(in.U24());
    const Bytes original(containerBytes.begin(), containerBytes.end());
    const auto rest = in.Rest();
    const Bytes file(rest.begin(), rest.end());

    if (Finding f = CheckFormat(original); !f.empty()) return f;
    const fs::path root = FreshFolder();
    PutFile(root / kContainerName, original);
    test::MessageRecorder sink;
    Finding finding;
    const auto blocks = Export(sink, root, finding);
    if (!finding.empty()) return finding;
    const std::size_t count = blocks ? blocks->size() : 0;
    if (blocks) {
        for (std::size_t k = 0; k < std::min(count, kRoundTrips); ++k)
            if (Finding f = ImportAndCheck(sink, root, original, k, (*blocks)[k], count); !f.empty()) return f;
    }
    return ImportAndCheck(sink, root, original, number, file, count);
}

} // namespace qorlu::fuzz
