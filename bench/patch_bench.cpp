// Patch benchmark: `qorlu patch-make` of a full-size raw image (an archive
// of 465,819,648 bytes, every sector with valid checksums) against a
// modified copy of it, timed next to `cmp` of the image and a byte-identical
// copy (which reads and compares every byte of two images, as patch-make
// must), then `qorlu patch-apply` of that patch to a third copy and
// `patch-apply --undo` back, all by turns in each round, with the files in
// the page cache. For reference each round also times `cmp` of the two
// images (which stops at the first difference) and `cmp -l` of them (which
// goes on and lists every changed byte, into a file). Prints every round, the median of
// the rounds' ratios and the fastest of each; asserts nothing.
//
//   patch_bench [WORKDIR]      build the images (once) and measure
//
// The modified image changes 700 bytes of every 1000th sector and a whole
// stretch of 512 sectors (a replaced entry), each with checksums of its new
// bytes, as an import leaves them.

#include "disc/SectorChecksum.h"
#include "format/ByteOrder.h"
#include "tools/RawSectorWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <sys/wait.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kArchiveSize = 465819648;
constexpr std::uint32_t kStartSector = 40;
constexpr std::uint32_t kSectors = kStartSector + kArchiveSize / 2048;
constexpr std::uint32_t kStretchStart = 150000; // the replaced entry's first sector
constexpr std::uint32_t kStretchSectors = 512;
constexpr int kRounds = 7;

bool Changed(std::uint32_t s) {
    return (s % 1000 == 500) || (s >= kStretchStart && s < kStretchStart + kStretchSectors);
}

// The original: sectors of made-up bytes with a directory record naming
// the archive; the modified copy, with the sectors that Changed() names
// changed; and a byte-identical copy of the original.
bool BuildImages(const fs::path& original, const fs::path& modified, const fs::path& copy) {
    std::printf("building %s, %s and %s ...\n", original.c_str(), modified.c_str(), copy.c_str());
    std::FILE* a = std::fopen(original.c_str(), "wb");
    std::FILE* b = std::fopen(modified.c_str(), "wb");
    std::FILE* c = std::fopen(copy.c_str(), "wb");
    if (a == nullptr || b == nullptr || c == nullptr) return false;
    std::vector<std::uint8_t> block(2048), raw(2352);
    for (std::uint32_t s = 0; s < kSectors; ++s) {
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(s * 131 + i * 7);
        if (s == 22) {
            std::fill(block.begin(), block.end(), 0);
            const std::size_t m = 100;
            block[m - 24] = kStartSector;
            qorlu::WriteLE32(&block[m - 23], kArchiveSize);
            std::memcpy(&block[m], "FILEDATA.AFS;1", 14);
        }
        qorlu::tools::WriteRawSector(s, block, raw.data());
        std::fwrite(raw.data(), 1, raw.size(), a);
        std::fwrite(raw.data(), 1, raw.size(), c);
        if (Changed(s)) {
            const std::size_t from = s % 1000 == 500 ? 24 + (s / 1000) % 1300 : 24;
            const std::size_t count = s % 1000 == 500 ? 700 : 2048;
            for (std::size_t i = 0; i < count; ++i) raw[from + i] ^= static_cast<std::uint8_t>(0x5A + i);
            qorlu::sector::EncodeForm1(raw.data());
        }
        std::fwrite(raw.data(), 1, raw.size(), b);
    }
    const bool closed = std::fclose(a) == 0;
    return std::fclose(b) == 0 && std::fclose(c) == 0 && closed;
}

void ReadThrough(const fs::path& p) { // warm the page cache
    std::FILE* in = std::fopen(p.c_str(), "rb");
    std::vector<unsigned char> buf(1 << 20);
    while (in != nullptr && std::fread(buf.data(), 1, buf.size(), in) > 0) {}
    if (in != nullptr) std::fclose(in);
}

std::string Quoted(const fs::path& p) {
    std::string q = "'";
    q += p.string();
    q += "'";
    return q;
}

// A shell command of these words.
std::string Command(std::initializer_list<std::string_view> words) {
    std::string command;
    for (const std::string_view w : words) {
        if (!command.empty()) command += ' ';
        command += w;
    }
    return command;
}

// Runs `command` through the shell; seconds taken, and its exit status.
double Timed(const std::string& command, int& status) {
    const auto t0 = Clock::now();
    const int raw = std::system(command.c_str());
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "qorlu-patch-bench";
    fs::create_directories(work);
    const fs::path original = work / "original.bin";
    const fs::path modified = work / "modified.bin";
    const fs::path copy = work / "copy.bin";
    const fs::path target = work / "target.bin";
    const fs::path patch = work / "mod.ppf";
    if (!fs::exists(original) || !fs::exists(modified) || !fs::exists(copy)) {
        if (!BuildImages(original, modified, copy)) {
            std::fprintf(stderr, "cannot build the images in %s\n", work.c_str());
            return 1;
        }
    }
    fs::copy_file(original, target, fs::copy_options::overwrite_existing);
    for (const auto& p : {original, modified, copy, target}) ReadThrough(p);

    const std::string qorlu = Quoted(QORLU_CLI_PATH);
    const std::string make =
        Command({qorlu, "patch-make", Quoted(original), Quoted(modified), Quoted(patch), "--undo >/dev/null"});
    const std::string apply = Command({qorlu, "patch-apply", Quoted(target), Quoted(patch), ">/dev/null"});
    const std::string undo = Command({qorlu, "patch-apply", Quoted(target), Quoted(patch), "--undo >/dev/null"});
    const std::string cmpWhole = Command({"cmp", Quoted(original), Quoted(copy)});
    const std::string cmpFirst = Command({"cmp", Quoted(original), Quoted(modified), ">/dev/null"});
    // Into a file: cmp that writes to /dev/null stops at the first difference.
    const fs::path listed = work / "cmp-l.txt";
    const std::string cmpList = Command({"cmp -l", Quoted(original), Quoted(modified), ">", Quoted(listed)});

    std::vector<double> ratios, applyRatios;
    double fastestMake = 1e9, fastestCmp = 1e9, fastestApply = 1e9, fastestUndo = 1e9, fastestFirst = 1e9,
           fastestList = 1e9;
    for (int round = 1; round <= kRounds; ++round) {
        int status = 0;
        const double cmpSeconds = Timed(cmpWhole, status);
        if (status != 0) {
            std::fprintf(stderr, "cmp of the identical copy failed (status %d)\n", status);
            return 1;
        }
        const double makeSeconds = Timed(make, status);
        if (status != 0) {
            std::fprintf(stderr, "qorlu patch-make failed (status %d)\n", status);
            return 1;
        }
        const double firstSeconds = Timed(cmpFirst, status);
        const double listSeconds = Timed(cmpList, status);
        const double applySeconds = Timed(apply, status);
        if (status != 0) {
            std::fprintf(stderr, "qorlu patch-apply failed (status %d)\n", status);
            return 1;
        }
        const double undoSeconds = Timed(undo, status);
        if (status != 0) {
            std::fprintf(stderr, "qorlu patch-apply --undo failed (status %d)\n", status);
            return 1;
        }
        std::printf("round %d: patch-make %.3f s, cmp of two whole images %.3f s (ratio %.2f); patch-apply %.3f s, "
                    "--undo %.3f s; cmp to the first difference %.3f s, cmp -l %.3f s\n",
                    round, makeSeconds, cmpSeconds, makeSeconds / cmpSeconds, applySeconds, undoSeconds, firstSeconds,
                    listSeconds);
        ratios.push_back(makeSeconds / cmpSeconds);
        applyRatios.push_back(applySeconds / cmpSeconds);
        fastestMake = std::min(fastestMake, makeSeconds);
        fastestCmp = std::min(fastestCmp, cmpSeconds);
        fastestApply = std::min(fastestApply, applySeconds);
        fastestUndo = std::min(fastestUndo, undoSeconds);
        fastestFirst = std::min(fastestFirst, firstSeconds);
        fastestList = std::min(fastestList, listSeconds);
    }

    int status = 0;
    Timed(apply, status);
    int same = 0;
    Timed(Command({"cmp -s", Quoted(target), Quoted(modified)}), same);
    std::printf("images %ju bytes; patch %ju bytes; the patched copy %s the modified image\n",
                static_cast<std::uintmax_t>(fs::file_size(original)), static_cast<std::uintmax_t>(fs::file_size(patch)),
                status == 0 && same == 0 ? "equals" : "DIFFERS FROM");
    std::printf("median of the rounds' ratios: patch-make to cmp %.2f (goal: within 1.5), patch-apply to cmp %.2f\n",
                Median(ratios), Median(applyRatios));
    std::printf("fastest: patch-make %.3f s, cmp %.3f s (ratio %.2f); patch-apply %.3f s, --undo %.3f s; "
                "cmp to the first difference %.3f s, cmp -l %.3f s\n",
                fastestMake, fastestCmp, fastestMake / fastestCmp, fastestApply, fastestUndo, fastestFirst,
                fastestList);
    fs::remove(target);
    fs::remove(patch);
    fs::remove(listed);
    return 0;
}
