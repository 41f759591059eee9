// Extraction benchmark: a full-size image (an archive of 465,819,648 bytes
// with a few thousand entries) extracted whole by the extraction job, timed
// by turns with one plain copy of a file of the same bytes and with the same
// files written from memory, with the job's peak memory. Prints every
// round, the median of the rounds' ratios and the fastest of each; asserts
// nothing. WORKDIR in memory (/dev/shm) compares with the copy, on a disk
// with the files written from memory.
//
//   extract_bench [WORKDIR]      build the image (once) and measure
//
// The measurement runs in a child process (the same program with --measure)
// so that its peak memory is the extraction's alone.

#include "archive/AfsArchive.h"
#include "archive/ExtractJob.h"
#include "format/ByteOrder.h"
#include "tools/AfsBuilder.h"
#include "tools/RawSectorWriter.h"
#include "archive/ExtractProgress.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kArchiveSize = 465819648;
constexpr std::uint32_t kEntries = 3000;
constexpr std::uint32_t kStartSector = 40;

class SilentSink final : public qorlu::IMessageSink {
public:
    qorlu::Answer Show(const qorlu::Notice& n) override {
        if (n.outcome == qorlu::Outcome::Failure) std::fprintf(stderr, "message: %s\n", n.text.c_str());
        return qorlu::Answer::Ok;
    }
};

class WaitingProgress final : public qorlu::IExtractProgress {
public:
    bool IsCancelled() override { return false; }
    void SetRange(int, int) override {}
    void SetPos(int) override {}
    void SetText(std::string) override {}
    void Close() override {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_cv.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_closed; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_closed = false;
};

// The archive's logical bytes: 3000 entries of varying sizes, aligned to
// 2048, filling exactly kArchiveSize with the name directory at the end.
std::vector<std::uint8_t> BuildArchive() {
    std::vector<qorlu::tools::AfsBuildEntry> entries;
    const std::uint64_t room = kArchiveSize - 48 * kEntries - 32768;
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        const std::uint32_t size = static_cast<std::uint32_t>(room / kEntries) - 2048 - (i * 7919) % 4096;
        char name[32];
        std::snprintf(name, sizeof name, "%s/F%05u.%s", i % 3 == 0 ? "SOUND" : "DATA", i, i % 3 == 0 ? "ADX" : "BIN");
        entries.push_back({name, std::vector<std::uint8_t>(size, static_cast<std::uint8_t>(i)), 0});
    }
    auto layout = qorlu::tools::BuildAfs(entries);
    if (layout.bytes.size() > kArchiveSize) {
        // Cutting it to size would cut off the name directory.
        std::fprintf(stderr, "the bench archive has %zu bytes, more than %llu\n", layout.bytes.size(),
                     static_cast<unsigned long long>(kArchiveSize));
        std::exit(1);
    }
    layout.bytes.resize(kArchiveSize, 0); // the game's archive ends in filler
    return layout.bytes;
}

bool BuildImage(const fs::path& image, const fs::path& plain) {
    std::printf("building %s ...\n", image.c_str());
    const auto archive = BuildArchive();
    std::FILE* out = std::fopen(image.c_str(), "wb");
    std::FILE* copySource = std::fopen(plain.c_str(), "wb");
    if (out == nullptr || copySource == nullptr) return false;
    std::vector<std::uint8_t> block(2048), raw(2352);
    const std::uint32_t sectors = kStartSector + kArchiveSize / 2048;
    for (std::uint32_t s = 0; s < sectors; ++s) {
        std::fill(block.begin(), block.end(), 0);
        if (s == 22) { // a directory record naming the archive
            const std::size_t m = 100;
            block[m - 24] = kStartSector;
            qorlu::WriteLE32(&block[m - 23], kArchiveSize);
            std::memcpy(&block[m], "FILEDATA.AFS;1", 14);
        }
        if (s >= kStartSector) std::memcpy(block.data(), &archive[std::size_t{s - kStartSector} * 2048], 2048);
        qorlu::tools::WriteRawSector(s, block, raw.data());
        std::fwrite(raw.data(), 1, raw.size(), out);
    }
    std::fwrite(archive.data(), 1, archive.size(), copySource);
    return std::fclose(out) == 0 && std::fclose(copySource) == 0;
}

void ReadThrough(const fs::path& p) { // warm the page cache
    std::ifstream in(p, std::ios::binary);
    std::vector<char> buf(1 << 20);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {}
}

// A plain copy through user space, 1 MiB at a time, as a copy program
// without the kernel's copy shortcut does it.
void CopyThroughBuffer(const fs::path& from, const fs::path& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = std::fopen(to.c_str(), "wb");
    std::vector<char> buf(1 << 20);
    for (std::size_t n; in != nullptr && out != nullptr && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0;)
        std::fwrite(buf.data(), 1, n, out);
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
}

// The floor that any extraction into one file per entry meets: the same
// entries written from memory into files of their own, no image read.
double WriteEntriesFromMemory(const fs::path& image, const fs::path& out) {
    SilentSink sink;
    qorlu::CAfsArchive archive(sink);
    if (!archive.LocateArchive(image.string(), "filedata.afs") || !archive.LoadIndex()) return -1;
    std::vector<char> data(1 << 20, 'x');
    for (const char* folder : {"SOUND", "DATA"}) fs::create_directories(out / folder);
    const auto t0 = Clock::now();
    for (std::uint32_t i = 0; i < archive.m_nEntryCount; ++i) {
        std::FILE* f = std::fopen((out / archive.GetEntryName(i)).c_str(), "wb");
        if (f == nullptr) return -1;
        for (std::uint32_t left = archive.GetEntrySize(i); left > 0;) {
            const std::uint32_t n = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(data.size()));
            std::fwrite(data.data(), 1, n, f);
            left -= n;
        }
        std::fclose(f);
    }
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

int Measure(const std::string& image, const std::string& out) {
    SilentSink sink;
    qorlu::CAfsArchive archive(sink);
    if (!archive.LocateArchive(image, "filedata.afs") || !archive.LoadIndex()) return 1;
    WaitingProgress progress;
    const auto t0 = Clock::now();
    qorlu::CExtractJob job(archive);
    job.StartExtract(out, qorlu::kFilterAll, &progress);
    progress.Wait();
    job.Wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %ld\n", seconds, usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--measure") return Measure(argv[2], argv[3]);
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qorlu-extract-bench";
    fs::create_directories(work);
    const fs::path image = work / "full.bin";
    const fs::path plain = work / "plain.afs";
    if (!fs::exists(image) || !fs::exists(plain)) {
        if (!BuildImage(image, plain)) {
            std::fprintf(stderr, "cannot build the image in %s\n", work.c_str());
            return 1;
        }
    }
    ReadThrough(image);
    ReadThrough(plain);

    std::vector<double> ratios;
    std::vector<double> floorRatios;
    double fastestExtract = 1e9, fastestCopy = 1e9, fastestFloor = 1e9;
    for (int round = 1; round <= 7; ++round) {
        fs::remove_all(work / "out");
        fs::remove(work / "copy.afs");
        fs::create_directories(work / "out");
        sync(); // no write-back of an earlier round during this one
        auto t0 = Clock::now();
        CopyThroughBuffer(plain, work / "copy.afs");
        const double copySeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        fs::remove(work / "copy.afs");
        t0 = Clock::now();
        fs::copy_file(plain, work / "copy.afs");
        const double kernelCopySeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        fs::remove(work / "copy.afs");
        const double floorSeconds = WriteEntriesFromMemory(image, work / "floor");
        fs::remove_all(work / "floor");
        sync();

        const std::string command =
            std::string("'") + argv[0] + "' --measure '" + image.string() + "' '" + (work / "out").string() + "'";
        std::FILE* child = popen(command.c_str(), "r");
        double extractSeconds = 0;
        long peakKiB = 0;
        if (child == nullptr || std::fscanf(child, "%lf %ld", &extractSeconds, &peakKiB) != 2) {
            std::fprintf(stderr, "the measurement failed\n");
            return 1;
        }
        pclose(child);
        std::printf("round %d: extract %u entries (%u bytes): %.3f s; plain copy of the same bytes: %.3f s "
                    "(ratio %.2f); kernel copy_file: %.3f s; the same files written from memory: %.3f s; "
                    "extraction peak memory %.1f MiB\n",
                    round, kEntries, kArchiveSize, extractSeconds, copySeconds, extractSeconds / copySeconds,
                    kernelCopySeconds, floorSeconds, peakKiB / 1024.0);
        ratios.push_back(extractSeconds / copySeconds);
        floorRatios.push_back(extractSeconds / floorSeconds);
        fastestExtract = std::min(fastestExtract, extractSeconds);
        fastestCopy = std::min(fastestCopy, copySeconds);
        fastestFloor = std::min(fastestFloor, floorSeconds);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    std::printf("median of the rounds' ratios: extraction to plain copy %.2f (goal in memory: within 1.2), "
                "to the files written from memory %.2f (goal on disk: within 1.05)\n",
                median(ratios), median(floorRatios));
    std::printf("fastest: extraction %.3f s, plain copy %.3f s (ratio %.2f), files from memory %.3f s (ratio %.2f)\n",
                fastestExtract, fastestCopy, fastestExtract / fastestCopy, fastestFloor, fastestExtract / fastestFloor);
    fs::remove_all(work / "out");
    return 0;
}
