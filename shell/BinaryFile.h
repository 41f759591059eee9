#pragma once
// A random-access binary file with 64-bit positions, and whole-file helpers.
// Paths are used exactly as the user gave them.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

class BinaryFile {
public:
    enum class Mode {
        Read,       // existing file, read only
        ReadWrite,  // existing file, read and write, never created or truncated
        Create,     // created anew for writing; an existing file is emptied
        CreateNew,  // created for writing; fails when the path already exists
    };

    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    // Closes the file; false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }

    bool Seek(std::uint64_t position);
    bool SeekForward(std::uint64_t delta);
    std::optional<std::uint64_t> Length();

    // Reads up to `count` bytes; returns how many arrived (fewer at the end).
    std::size_t Read(void* buffer, std::size_t count);
    // Writes all bytes; false on any failure (the failure also sticks, see Failed).
    bool Write(const void* buffer, std::size_t count);
    // Pushes everything written so far down to the storage device.
    bool Sync();
    // True once any seek or write has failed since Open.
    bool Failed() const { return m_failed; }

private:
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

// The whole file, or nothing when it cannot be opened or read completely.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

// Creates `path` anew with exactly `bytes`; false when it cannot be created
// or written completely.
bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Replaces `path` with the concatenation of `parts`: writes a temporary file
// of a fresh name in the same folder, flushes it to the device, gives it the
// permissions of `path` and renames it over `path`. When `path` is a symbolic
// link the file it points to is replaced, not the link. On failure `path` is
// left as it was, the temporary file is removed, and false is returned.
bool ReplaceFileSafely(const std::string& path,
                       std::span<const std::span<const std::uint8_t>> parts);

} // namespace qorlu
