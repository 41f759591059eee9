#pragma once
// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes.

#include <cstdint>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace qorlu::test {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        for (;;) {
            m_path =
                std::filesystem::temp_directory_path() / ("qorlu-test-" + std::to_string(rd()) + std::to_string(rd()));
            if (std::filesystem::create_directory(m_path)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
// The files below `root`, as sorted relative paths with "/" separators.
std::vector<std::string> Tree(const std::filesystem::path& root);

} // namespace qorlu::test
