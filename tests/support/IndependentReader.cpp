#include "tests/support/IndependentReader.h"

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "base/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qorlu::test {

namespace fs = std::filesystem;

bool HaveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    std::error_code ec;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && fs::exists(fs::path(dir) / name, ec)) return true;
    return false;
}

void WriteRawCueSheet(const std::string& cue, const std::string& bin) {
    std::ofstream(cue) << "FILE \"" << fs::path(bin).filename().string()
                       << "\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n";
}

std::vector<std::uint8_t> ReadFileThroughCue(const std::string& cue, const std::string& isoName,
                                             const std::string& scratch) {
    const auto info = RunProgram("cd-info", {"--no-device-info", "--no-cddb", "--iso9660", "--cue-file", cue});
    // A listing line: "... [LSN     26]    137600 Dec 08 2026 06:04:05 filedata.afs".
    std::string lsn;
    std::size_t size = 0;
    const std::string wanted = ToUpperAscii(isoName);
    for (const auto& line : SplitLines(info.out)) {
        const auto open = line.find("[LSN");
        const auto close = line.find(']', open == std::string::npos ? 0 : open);
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string upper = ToUpperAscii(line);
        if (upper.size() < wanted.size() || upper.compare(upper.size() - wanted.size(), wanted.size(), wanted) != 0)
            continue;
        std::istringstream numbers(line.substr(open + 4, close - open - 4) + " " + line.substr(close + 1));
        std::uint64_t start = 0;
        if (numbers >> start >> size) lsn = std::to_string(start);
        break;
    }
    if (lsn.empty()) {
        ADD_FAILURE() << "cd-info did not list " << isoName << ":\n" << info.out << info.err;
        return {};
    }
    const auto read = RunProgram("cd-read", {"--cue-file", cue, "--mode", "m2f1", "--start", lsn, "--number",
                                             std::to_string((size + 2047) / 2048), "--no-hexdump", "-o", scratch});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    auto bytes = ReadFileBytes(scratch);
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> ReadFileFromIso(const std::string& iso, const std::string& isoPath,
                                          const std::string& scratch) {
    const auto read = RunProgram("iso-read", {"-i", iso, "-e", isoPath, "-o", scratch});
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    return read.exitCode == 0 ? ReadFileBytes(scratch) : std::vector<std::uint8_t>{};
}

} // namespace qorlu::test
