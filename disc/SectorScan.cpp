#include "disc/SectorScan.h"

#include "disc/SectorChecksum.h"

#include <algorithm>
#include <future>

namespace qorlu {

namespace {

// Sectors read at once: about 2.4 MB, large enough for sequential speed.
constexpr std::size_t kRunSectors = 1024;

struct Tally {
    std::uint64_t valid = 0, wrong = 0, unchecked = 0, form2 = 0, other = 0;
    std::vector<std::uint64_t> wrongSectors;
};

Tally Check(const std::uint8_t* run, std::size_t count, std::uint64_t firstSector, std::size_t listLimit) {
    Tally t;
    for (std::size_t i = 0; i < count; ++i) {
        switch (sector::Classify(run + i * sector::kRawSize)) {
        case sector::Kind::Form1Valid: ++t.valid; break;
        case sector::Kind::Form1Wrong:
            ++t.wrong;
            if (t.wrongSectors.size() < listLimit) t.wrongSectors.push_back(firstSector + i);
            break;
        case sector::Kind::Form1Unchecked: ++t.unchecked; break;
        case sector::Kind::Form2: ++t.form2; break;
        case sector::Kind::Other: ++t.other; break;
        }
    }
    return t;
}

void Add(SectorScanResult& result, const Tally& t, std::size_t listLimit) {
    result.valid += t.valid;
    result.wrong += t.wrong;
    result.unchecked += t.unchecked;
    result.form2 += t.form2;
    result.other += t.other;
    for (const auto s : t.wrongSectors)
        if (result.firstWrong.size() < listLimit) result.firstWrong.push_back(s);
}

} // namespace

SectorScanResult ScanRawSectors(BinaryFile& file, std::size_t listLimit,
                                const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    SectorScanResult result;
    const auto length = file.Length();
    if (!length || !file.Seek(0)) {
        result.readFailed = true;
        return result;
    }
    const std::uint64_t total = *length / sector::kRawSize;
    result.partialBytes = *length % sector::kRawSize;
    // Two runs: while the two halves of one are checked on two threads,
    // this thread reads the next.
    std::vector<std::uint8_t> runs[2] = {std::vector<std::uint8_t>(kRunSectors * sector::kRawSize),
                                         std::vector<std::uint8_t>(kRunSectors * sector::kRawSize)};
    const auto readRun = [&](std::vector<std::uint8_t>& run, std::uint64_t from, std::size_t& whole) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kRunSectors, total - from));
        whole = file.Read(run.data(), count * sector::kRawSize) / sector::kRawSize;
        return count;
    };
    std::size_t whole = 0;
    std::size_t count = total > 0 ? readRun(runs[0], 0, whole) : 0;
    for (std::uint64_t done = 0; done < total; ) {
        std::vector<std::uint8_t>& run = runs[(done / kRunSectors) % 2];
        const std::size_t half = whole / 2;
        auto first = std::async(std::launch::async, Check, run.data(), half, done, listLimit);
        auto second = std::async(std::launch::async, Check, run.data() + half * sector::kRawSize, whole - half,
                                 done + half, listLimit);
        const std::uint64_t next = done + whole;
        std::size_t nextWhole = 0;
        std::size_t nextCount = 0;
        if (whole == count && next < total) nextCount = readRun(runs[(next / kRunSectors) % 2], next, nextWhole);
        Add(result, first.get(), listLimit);
        Add(result, second.get(), listLimit);
        result.sectors += whole;
        if (progress) progress(next, total);
        if (whole < count) {
            result.readFailed = true;
            break;
        }
        done = next;
        whole = nextWhole;
        count = nextCount;
    }
    return result;
}

} // namespace qorlu
