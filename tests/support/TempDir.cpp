#include "tests/support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qorlu::test {

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> Tree(const std::filesystem::path& root) {
    std::vector<std::string> files;
    for (const auto& f : std::filesystem::recursive_directory_iterator(root))
        if (f.is_regular_file()) files.push_back(std::filesystem::relative(f.path(), root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace qorlu::test
