// Import benchmark: one 1 MiB entry written back into a full-size image (an
// archive of 465,819,648 bytes with a few thousand entries) through
// ImportEntry, with its rollback journal and flushes, next to the same
// import into a small image of three entries. Prints the fastest of several
// rounds; asserts nothing.
//
//   import_bench [WORKDIR]      build the images (once) and measure
//
// Each round imports a file of another length than the round before, so
// that the entry table and the name record are rewritten every time.

#include "archive/AfsArchive.h"
#include "format/ByteOrder.h"
#include "tools/AfsBuilder.h"
#include "tools/RawSectorWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kFullArchiveSize = 465819648;
constexpr std::uint32_t kEntries = 3000;
constexpr std::uint32_t kStartSector = 40;
constexpr std::uint32_t kImportSize = 1 << 20;
constexpr int kRounds = 7;

class SilentSink final : public qorlu::IMessageSink {
public:
    qorlu::Answer Show(const qorlu::Notice& n) override {
        if (n.outcome == qorlu::Outcome::Failure) std::fprintf(stderr, "message: %s\n", n.text.c_str());
        return qorlu::Answer::Ok;
    }
};

// Entry 0 has room for the 1 MiB file; with `full` the other entries fill
// the game's archive size.
std::vector<std::uint8_t> BuildArchive(bool full) {
    std::vector<qorlu::tools::AfsBuildEntry> entries;
    entries.push_back({"DATA/IMPORTED.BIN", std::vector<std::uint8_t>(kImportSize, 1), 0});
    const std::uint32_t count = full ? kEntries : 3;
    const std::uint64_t room = kFullArchiveSize - kImportSize - 2048 - 48 * kEntries - 32768;
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::uint32_t size =
            full ? static_cast<std::uint32_t>(room / kEntries) - 2048 - (i * 7919) % 4096 : 5000 * i;
        char name[32];
        std::snprintf(name, sizeof name, "DATA/F%05u.BIN", i);
        entries.push_back({name, std::vector<std::uint8_t>(size, static_cast<std::uint8_t>(i)), 0});
    }
    auto layout = qorlu::tools::BuildAfs(entries);
    if (full) layout.bytes.resize(kFullArchiveSize, 0); // the game's archive ends in filler
    return layout.bytes;
}

bool BuildImage(const fs::path& image, bool full) {
    std::printf("building %s ...\n", image.c_str());
    const auto archive = BuildArchive(full);
    std::FILE* out = std::fopen(image.c_str(), "wb");
    if (out == nullptr) return false;
    std::vector<std::uint8_t> block(2048), raw(2352);
    const auto sectors = static_cast<std::uint32_t>(kStartSector + (archive.size() + 2047) / 2048);
    for (std::uint32_t s = 0; s < sectors; ++s) {
        std::fill(block.begin(), block.end(), 0);
        if (s == 22) { // a directory record naming the archive
            const std::size_t m = 100;
            block[m - 24] = kStartSector;
            qorlu::WriteLE32(&block[m - 23], static_cast<std::uint32_t>(archive.size()));
            std::memcpy(&block[m], "FILEDATA.AFS;1", 14);
        }
        if (s >= kStartSector) {
            const std::size_t at = std::size_t{s - kStartSector} * 2048;
            std::memcpy(block.data(), &archive[at], std::min<std::size_t>(2048, archive.size() - at));
        }
        qorlu::tools::WriteRawSector(s, block, raw.data());
        std::fwrite(raw.data(), 1, raw.size(), out);
    }
    return std::fclose(out) == 0;
}

// Fastest import of the round files into entry 0 of `image`, in seconds; -1 on failure.
double FastestImport(const fs::path& image, const std::vector<std::string>& files) {
    SilentSink sink;
    qorlu::CAfsArchive archive(sink);
    if (!archive.LocateArchive(image.string(), "filedata.afs") || !archive.LoadIndex()) return -1;
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto t0 = Clock::now();
        if (archive.ImportEntry(files[static_cast<std::size_t>(round) % files.size()], 0) != 1) return -1;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qorlu-import-bench";
    fs::create_directories(work);
    const fs::path full = work / "import-full.bin";
    const fs::path small = work / "import-small.bin";
    for (const auto& [path, isFull] : {std::pair{full, true}, std::pair{small, false}}) {
        if (!fs::exists(path) && !BuildImage(path, isFull)) {
            std::fprintf(stderr, "cannot build %s\n", path.c_str());
            return 1;
        }
    }
    // Two lengths in turn, both within the 1 MiB slot.
    std::vector<std::string> files;
    for (const std::uint32_t length : {kImportSize, kImportSize - 4096}) {
        const fs::path file = work / ("replacement-" + std::to_string(length) + ".bin");
        std::FILE* f = std::fopen(file.c_str(), "wb");
        const std::vector<std::uint8_t> data(length, 0x5A);
        if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
        files.push_back(file.string());
    }

    const double fullSeconds = FastestImport(full, files);
    const double smallSeconds = FastestImport(small, files);
    if (fullSeconds < 0 || smallSeconds < 0) {
        std::fprintf(stderr, "an import failed\n");
        return 1;
    }
    std::printf("import of a 1 MiB entry, fastest of %d rounds, journal and flushes included:\n", kRounds);
    std::printf("  full-size image (%u archive bytes, %u entries): %.4f s (goal: under 0.1 s)\n", kFullArchiveSize,
                kEntries, fullSeconds);
    std::printf("  small image (3 entries): %.4f s\n", smallSeconds);
    std::printf("  ratio full / small: %.2f (goal: within 1.5)\n", fullSeconds / smallSeconds);
    return 0;
}
