#include "disc/SectorScan.h"

#include "disc/SectorChecksum.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>

namespace qorlu {

namespace {

// Sectors read at once (about 600 KB): one read each, and small enough that
// a run is still in the processor's cache when it is checked.
constexpr std::size_t kRunSectors = 256;
// Never more checking threads than this, whatever the machine: each holds a run.
constexpr unsigned kMostWorkers = 16;

struct Tally {
    std::uint64_t valid = 0, wrong = 0, unchecked = 0, form2 = 0, other = 0;
    std::size_t whole = 0; // whole sectors the run's read brought
    std::vector<std::uint64_t> wrongSectors;
};

void Count(const std::vector<sector::Kind>& kinds, std::size_t whole, std::uint64_t firstSector, std::size_t listLimit,
           Tally& t) {
    for (std::size_t i = 0; i < whole; ++i) {
        switch (kinds[i]) {
        case sector::Kind::Form1Valid:
            ++t.valid;
            break;
        case sector::Kind::Form1Wrong:
            ++t.wrong;
            if (t.wrongSectors.size() < listLimit) t.wrongSectors.push_back(firstSector + i);
            break;
        case sector::Kind::Form1Unchecked:
            ++t.unchecked;
            break;
        case sector::Kind::Form2:
            ++t.form2;
            break;
        case sector::Kind::Other:
            ++t.other;
            break;
        }
    }
}

void Add(SectorScanResult& result, const Tally& t, std::size_t listLimit) {
    result.sectors += t.whole;
    result.valid += t.valid;
    result.wrong += t.wrong;
    result.unchecked += t.unchecked;
    result.form2 += t.form2;
    result.other += t.other;
    for (const auto s : t.wrongSectors)
        if (result.firstWrong.size() < listLimit) result.firstWrong.push_back(s);
}

// The runs of one scan, shared by its workers. The file is read by one of
// them at a time (a seek and one read a run); the checking is done side by side.
class Scan {
public:
    Scan(BinaryFile& file, std::uint64_t total, std::size_t listLimit)
        : m_file(file), m_total(total), m_runs((total + kRunSectors - 1) / kRunSectors), m_listLimit(listLimit),
          m_tallies(static_cast<std::size_t>(m_runs)) {}

    std::uint64_t Runs() const { return m_runs; }

    // Takes runs until none is left; `after` is called after each of this
    // worker's runs with the sectors checked so far by all.
    void Work(std::vector<std::uint8_t>& buffer, const std::function<void(std::uint64_t)>& after) {
        std::vector<sector::Kind> kinds(kRunSectors);
        for (;;) {
            std::uint64_t run = 0;
            std::size_t got = 0;
            {
                std::lock_guard lock(m_mutex);
                if (m_next >= m_runs || m_next > m_shortRun) return;
                run = m_next++;
                const std::uint64_t sectors = std::min<std::uint64_t>(kRunSectors, m_total - run * kRunSectors);
                const std::size_t want = static_cast<std::size_t>(sectors) * sector::kRawSize;
                if (m_file.Seek(run * kRunSectors * sector::kRawSize)) got = m_file.Read(buffer.data(), want);
                if (got < want) m_shortRun = std::min(m_shortRun, run);
            }
            Tally& t = m_tallies[static_cast<std::size_t>(run)];
            t.whole = got / sector::kRawSize;
            sector::ClassifyMany(buffer.data(), t.whole, kinds.data());
            Count(kinds, t.whole, run * kRunSectors, m_listLimit, t);
            std::uint64_t done = 0;
            {
                std::lock_guard lock(m_mutex);
                done = m_done += t.whole;
            }
            if (after) after(done);
        }
    }

    // The runs in order, up to and with the first that came up short.
    SectorScanResult Result(std::uint64_t partialBytes) const {
        SectorScanResult result;
        result.partialBytes = partialBytes;
        for (std::uint64_t run = 0; run < m_runs; ++run) {
            Add(result, m_tallies[static_cast<std::size_t>(run)], m_listLimit);
            if (run == m_shortRun) {
                result.readFailed = true;
                break;
            }
        }
        return result;
    }

private:
    BinaryFile& m_file;
    const std::uint64_t m_total;
    const std::uint64_t m_runs;
    const std::size_t m_listLimit;
    std::vector<Tally> m_tallies;
    std::mutex m_mutex;
    std::uint64_t m_next = 0;
    std::uint64_t m_shortRun = UINT64_MAX; // the first run whose read brought less than asked
    std::uint64_t m_done = 0;
};

} // namespace

SectorScanResult ScanRawSectors(BinaryFile& file, std::size_t listLimit,
                                const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    const auto length = file.Length();
    if (!length) {
        SectorScanResult failed;
        failed.readFailed = true;
        return failed;
    }
    const std::uint64_t total = *length / sector::kRawSize;
    Scan scan(file, total, listLimit);

    // One worker per processor, this thread one of them; each holds its run.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto workers = static_cast<std::size_t>(
        std::min<std::uint64_t>({cores, kMostWorkers, std::max<std::uint64_t>(scan.Runs(), 1)}));
    std::vector<std::vector<std::uint8_t>> buffers(workers, std::vector<std::uint8_t>(kRunSectors * sector::kRawSize));
    std::vector<std::thread> helpers;
    for (std::size_t w = 1; w < workers; ++w) {
        try {
            helpers.emplace_back([&scan, &buffers, w] { scan.Work(buffers[w], {}); });
        } catch (const std::system_error&) {
            break; // fewer threads do the same work
        }
    }
    scan.Work(buffers[0], [&](std::uint64_t done) {
        if (progress) progress(done, total);
    });
    for (auto& helper : helpers) helper.join();
    SectorScanResult result = scan.Result(*length % sector::kRawSize);
    if (progress && !result.readFailed) progress(result.sectors, total);
    return result;
}

} // namespace qorlu
