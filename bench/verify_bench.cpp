// Verification benchmark: `qorlu verify` of a full-size raw image (an
// archive of 465,819,648 bytes, every sector with valid checksums) timed
// next to one plain read of the same file through a 1 MiB buffer, both with
// the file in the page cache. Prints the fastest of five rounds of each and
// their ratio; asserts nothing.
//
//   verify_bench [WORKDIR]      build the image (once) and measure

#include "shell/ByteOrder.h"
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
        if (s == kStartSector) {  // a one-entry index at the archive's start
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
    PlainRead(image, sum);  // warm the page cache
    double fastestRead = 1e9;
    double fastestVerify = 1e9;
    for (int round = 1; round <= 5; ++round) {
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
    }
    std::printf("image %s, %ju bytes (byte sum %u)\n", image.c_str(), static_cast<std::uintmax_t>(fs::file_size(image)),
                sum);
    std::printf("fastest: qorlu verify %.3f s, plain read %.3f s, ratio %.2f (goal: within 5)\n", fastestVerify,
                fastestRead, fastestVerify / fastestRead);
    return 0;
}
