// Verification benchmark: `qorlu verify` of a full-size raw image (an
// archive of 465,819,648 bytes, every sector with valid checksums) timed
// next to one plain read of the same file through a 1 MiB buffer, both with
// the file in the page cache, by turns in each round. Prints every round,
// the median of the rounds' ratios and the fastest of each; then, in this
// process, how long one run of sectors takes to check with each way of
// computing the checksums that the processor has. Asserts nothing.
//
//   verify_bench [WORKDIR]      build the image (once) and measure

#include "disc/SectorChecksum.h"
#include "format/ByteOrder.h"
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

constexpr std::uint32_t kArchiveSize = 465819648;
constexpr std::uint32_t kStartSector = 40;

// Sectors of made-up bytes with a directory record naming the archive.
bool BuildImage(const fs::path& image) {
    std::printf("building %s ...\n", image.c_str());
    std::FILE* out = std::fopen(image.c_str(), "wb");
    if (out == nullptr) return false;
    std::vector<std::uint8_t> block(2048), raw(2352);
    const std::uint32_t sectors = kStartSector + kArchiveSize / 2048;
    for (std::uint32_t s = 0; s < sectors; ++s) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(s * 131 + i * 7);
        if (s == 22) {
            std::fill(block.begin(), block.end(), 0);
            const std::size_t m = 100;
            block[m - 24] = kStartSector;
            qorlu::WriteLE32(&block[m - 23], kArchiveSize);
            std::memcpy(&block[m], "FILEDATA.AFS;1", 14);
        }
        if (s == kStartSector) { // a one-entry index at the archive's start
            std::fill(block.begin(), block.end(), 0);
            qorlu::WriteLE32(&block[4], 1);
            qorlu::WriteLE32(&block[8], 2048);
            qorlu::WriteLE32(&block[12], 2048);
        }
        qorlu::tools::WriteRawSector(s, block, raw.data());
        std::fwrite(raw.data(), 1, raw.size(), out);
    }
    return std::fclose(out) == 0;
}

// One pass over the file through a 1 MiB buffer; the byte sum keeps the
// reads from being optimised away.
double PlainRead(const fs::path& p, unsigned& sum) {
    const auto t0 = Clock::now();
    std::FILE* in = std::fopen(p.c_str(), "rb");
    std::vector<unsigned char> buf(1 << 20);
    for (std::size_t n; in != nullptr && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0;) sum += buf[n - 1];
    if (in != nullptr) std::fclose(in);
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Verify(const fs::path& image, int& status) {
    const std::string command = std::string("'") + QORLU_CLI_PATH + "' verify '" + image.string() + "' >/dev/null";
    const auto t0 = Clock::now();
    status = std::system(command.c_str());
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Checking 256 valid sectors in memory, fastest of many repetitions, per engine.
void CompareEngines() {
    constexpr std::size_t kSectors = 256;
    std::vector<std::uint8_t> run(kSectors * 2352);
    std::vector<std::uint8_t> block(2048);
    for (std::size_t s = 0; s < kSectors; ++s) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(s * 131 + i * 7);
        qorlu::tools::WriteRawSector(static_cast<std::uint32_t>(s), block, &run[s * 2352]);
    }
    std::vector<qorlu::sector::Kind> kinds(kSectors);
    using qorlu::sector::EdcEngine;
    using qorlu::sector::ParityEngine;
    for (auto parity : {ParityEngine::Words64, ParityEngine::Ssse3, ParityEngine::Avx2Pairs}) {
        for (auto edc : {EdcEngine::Table, EdcEngine::CarryLess}) {
            if (!qorlu::sector::UseEngines({parity, edc})) continue;
            double best = 1e9;
            for (int rep = 0; rep < 200; ++rep) {
                const auto t0 = Clock::now();
                qorlu::sector::ClassifyMany(run.data(), kSectors, kinds.data());
                best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
            }
            const bool allValid =
                std::all_of(kinds.begin(), kinds.end(), [](auto k) { return k == qorlu::sector::Kind::Form1Valid; });
            std::printf("  %-14s + %-20s %.3f us a sector, one thread%s\n", qorlu::sector::NameOf(parity),
                        qorlu::sector::NameOf(edc), best * 1e6 / kSectors, allValid ? "" : " (NOT ALL VALID)");
        }
    }
    qorlu::sector::UseEngines(qorlu::sector::BestEngines());
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qorlu-verify-bench";
    fs::create_directories(work);
    const fs::path image = work / "full-checksummed.bin";
    if (!fs::exists(image) && !BuildImage(image)) {
        std::fprintf(stderr, "cannot build the image in %s\n", work.c_str());
        return 1;
    }
    unsigned sum = 0;
    PlainRead(image, sum); // warm the page cache
    double fastestRead = 1e9;
    double fastestVerify = 1e9;
    std::vector<double> ratios;
    for (int round = 1; round <= 7; ++round) {
        const double read = PlainRead(image, sum);
        int status = 0;
        const double verify = Verify(image, status);
        if (status != 0) {
            std::fprintf(stderr, "qorlu verify failed (status %d)\n", status);
            return 1;
        }
        std::printf("round %d: qorlu verify %.3f s, plain read %.3f s (ratio %.2f)\n", round, verify, read,
                    verify / read);
        fastestRead = std::min(fastestRead, read);
        fastestVerify = std::min(fastestVerify, verify);
        ratios.push_back(verify / read);
    }
    std::printf("image %s, %ju bytes (byte sum %u)\n", image.c_str(), static_cast<std::uintmax_t>(fs::file_size(image)),
                sum);
    std::printf("median of the rounds' ratios: %.2f (goal: within 4)\n", Median(ratios));
    std::printf("fastest: qorlu verify %.3f s, plain read %.3f s, ratio %.2f\n", fastestVerify, fastestRead,
                fastestVerify / fastestRead);
    const auto best = qorlu::sector::BestEngines();
    std::printf("checking one run in memory (qorlu uses %s + %s):\n", qorlu::sector::NameOf(best.parity),
                qorlu::sector::NameOf(best.edc));
    CompareEngines();
    return 0;
}
