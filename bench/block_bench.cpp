// block_bench: exports and imports a container of many compressed blocks and
// sets the times beside what zlib alone needs for the same uncompress and
// compress2 calls in the same run. No assertions on time; it prints figures.
//
//   block_bench [BLOCKS [BLOCK_KIB [RUNS [FOLDER]]]]
//
// Defaults: 160 blocks of 256 KiB, 5 runs, the system's temporary folder.
// The export writes every block as a file and the import rewrites the whole
// container, so on a busy disk the figures follow the disk; a folder in
// memory (/dev/shm) shows what the tool itself adds to zlib.
//
// Each operation runs RUNS times, by turns with zlib's calls; the best and
// the median run are shown.

#include "packer/BlockExport.h"
#include "packer/BlockImport.h"
#include "io/BinaryFile.h"
#include "format/ByteOrder.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class CountingSink final : public qorlu::IMessageSink {
public:
    qorlu::Answer Show(const qorlu::Notice& notice) override {
        last = notice.text;
        return qorlu::Answer::Ok;
    }
    std::string last;
};

// Text-like data: words from a small vocabulary with numbers between, so it
// compresses about as well as game scripts and tables do.
Bytes SampleData(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"stage ", "enemy ", "speed ", "0x1F ", "flag ",  "timer ",
                                         "music ", "door ",  "item ",  "shop ", "event ", "talk "};
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        for (const char* c = kWords[random() % 12]; *c != 0; ++c) out.push_back(static_cast<std::uint8_t>(*c));
        if (random() % 3 == 0) {
            const std::string n = std::to_string(random() % 100000) + " ";
            out.insert(out.end(), n.begin(), n.end());
        }
    }
    out.resize(size);
    return out;
}

Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes stream(size);
    if (compress2(stream.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) std::abort();
    stream.resize(size);
    return stream;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) { qorlu::WriteLE32(b.data() + at, v); }

// Index record at 16 (N = blocks + 1, layout 8), then every block padded to 16.
Bytes BuildContainer(const std::vector<Bytes>& streams, const std::vector<Bytes>& data) {
    const std::size_t n = streams.size();
    const std::size_t r = 16;
    Bytes out((r + 8 + 4 * (n + 1) + 15) / 16 * 16, 0);
    Put32(out, r, static_cast<std::uint32_t>(n + 1));
    Put32(out, r + 4, 8);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t h = out.size();
        Put32(out, r + 8 + 4 * k, static_cast<std::uint32_t>(h - r));
        out.resize(h + 32 + streams[k].size(), 0);
        Put32(out, h + 4, static_cast<std::uint32_t>(streams[k].size()));
        Put32(out, h + 8, static_cast<std::uint32_t>(data[k].size()));
        std::copy(streams[k].begin(), streams[k].end(), out.begin() + static_cast<long>(h + 32));
        out.resize((out.size() + 15) / 16 * 16 + 16, 0);
    }
    Put32(out, r + 8 + 4 * n, static_cast<std::uint32_t>(out.size() - r));
    const char tail[] = "trailing data";
    out.insert(out.end(), tail, tail + sizeof tail);
    return out;
}

struct Timing {
    double best = 0;
    double median = 0;
};

double Ms(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Timing Summarise(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// Runs zlib's calls and the tool's operation by turns, `runs` times each, so
// that both meet the same load on a shared machine. The best run is the
// steadier figure, the median shows the spread.
std::pair<Timing, Timing> TimeByTurns(int runs, const std::function<void()>& zlib, const std::function<void()>& ours) {
    std::vector<double> zlibTimes, ourTimes;
    for (int i = 0; i < runs; ++i) {
        zlibTimes.push_back(Ms(zlib));
        ourTimes.push_back(Ms(ours));
    }
    return {Summarise(zlibTimes), Summarise(ourTimes)};
}

void PrintRow(const char* name, Timing ours, Timing zlib, const std::string& what) {
    std::printf("%-7s %9.1f %9.1f %7.3f   %9.1f %9.1f %7.3f   %s\n", name, ours.best, zlib.best, ours.best / zlib.best,
                ours.median, zlib.median, ours.median / zlib.median, what.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t blocks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 160;
    const std::size_t blockSize = (argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 256) * 1024;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    if (blocks < 2 || blockSize == 0 || runs < 1) {
        std::fprintf(stderr, "usage: block_bench [BLOCKS>=2 [BLOCK_KIB [RUNS [FOLDER]]]]\n");
        return 2;
    }

    const fs::path base = argc > 4 ? fs::path(argv[4]) : fs::temp_directory_path();
    const fs::path dir = base / ("qorlu-block-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string container = (dir / "DATA.BIN").string();

    std::vector<Bytes> data, streams;
    for (std::size_t k = 0; k < blocks; ++k) {
        data.push_back(SampleData(blockSize, static_cast<std::uint32_t>(k)));
        streams.push_back(Deflate(data.back()));
    }
    const Bytes image = BuildContainer(streams, data);
    if (!qorlu::WriteWholeFile(container, image)) return 1;
    std::printf("folder: %s\n", dir.string().c_str());
    std::printf("container: %zu blocks of %zu KiB, %.1f MiB unpacked, %.1f MiB on disk\n", blocks, blockSize / 1024,
                double(blocks * blockSize) / (1 << 20), double(image.size()) / (1 << 20));

    // Export, against the same uncompress calls into buffers made beforehand.
    std::vector<Bytes> out(blocks, Bytes(blockSize));
    CountingSink sink;
    const auto [zlibExport, export_] = TimeByTurns(
        runs,
        [&] {
            for (std::size_t k = 0; k < blocks; ++k) {
                uLongf size = static_cast<uLongf>(blockSize);
                if (uncompress(out[k].data(), &size, streams[k].data(), static_cast<uLong>(streams[k].size())) != Z_OK)
                    std::abort();
            }
        },
        [&] { qorlu::ExportBlocks(sink, container); });
    if (sink.last != "OK!") {
        std::fprintf(stderr, "export failed: %s\n", sink.last.c_str());
        return 1;
    }

    // Import of an inner block, edited, against compress2 of the same bytes.
    const std::size_t inner = blocks / 2;
    Bytes edited = data[inner];
    for (std::size_t i = 0; i < edited.size(); i += 4096) edited[i] = static_cast<std::uint8_t>('A' + i % 26);
    const std::string dropped = qorlu::NumberedBlockName(container, inner);
    if (!qorlu::WriteWholeFile(dropped, edited)) return 1;
    Bytes target(compressBound(static_cast<uLong>(edited.size())));
    const auto [zlibImport, import_] = TimeByTurns(
        runs,
        [&] {
            uLongf size = static_cast<uLongf>(target.size());
            if (compress2(target.data(), &size, edited.data(), static_cast<uLong>(edited.size()), 9) != Z_OK)
                std::abort();
        },
        [&] { qorlu::ImportBlock(sink, dropped); });
    if (sink.last != "OK!") {
        std::fprintf(stderr, "import failed: %s\n", sink.last.c_str());
        return 1;
    }

    std::printf("%-7s %9s %9s %7s   %9s %9s %7s\n", "", "best ms", "zlib ms", "ratio", "median", "zlib", "ratio");
    PrintRow("export", export_, zlibExport, std::to_string(blocks) + " x uncompress");
    PrintRow("import", import_, zlibImport,
             "1 x compress2 level 9 of " + std::to_string(blockSize / 1024) + " KiB; container rewritten");

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
