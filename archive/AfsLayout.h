#pragma once
// Where the fields of the archive "filedata.afs" lie, archive-relative and
// in bytes. Every reader and writer of the archive (the index, the import,
// verify, the sample builder, the fuzzers) takes the positions from here.

#include <cstdint>

namespace qorlu::afs {

inline constexpr std::uint64_t kCountOffset = 4;    // N, the entry count
inline constexpr std::uint64_t kTableOffset = 8;    // the entry table, N entries
inline constexpr std::uint64_t kEntryBytes = 8;     // one entry: offset, then size
inline constexpr std::uint64_t kEntrySizeField = 4; // the size within an entry
inline constexpr std::uint64_t kNameRecordBytes = 48;
inline constexpr std::uint64_t kNameBytes = 32;    // the name, at the record's start
inline constexpr std::uint64_t kNameSizeCopy = 44; // the copy of the size within a record
// How far after the last entry's end the name directory is looked for.
inline constexpr std::uint32_t kNameDirSearchSize = 32768;

// Where entry i's row, and its size field, lie in the table.
constexpr std::uint64_t EntryAt(std::uint64_t i) { return kTableOffset + kEntryBytes * i; }
constexpr std::uint64_t EntrySizeAt(std::uint64_t i) { return EntryAt(i) + kEntrySizeField; }
// The end of the table of `count` entries (the first byte after it).
constexpr std::uint64_t TableEnd(std::uint64_t count) { return EntryAt(count); }
// Where the name record of entry i lies, and its size copy, in a name
// directory at `nameDir`; and the directory's length.
constexpr std::uint64_t NameRecordAt(std::uint64_t nameDir, std::uint64_t i) { return nameDir + kNameRecordBytes * i; }
constexpr std::uint64_t NameSizeCopyAt(std::uint64_t nameDir, std::uint64_t i) {
    return NameRecordAt(nameDir, i) + kNameSizeCopy;
}
constexpr std::uint64_t NameDirBytes(std::uint64_t count) { return kNameRecordBytes * count; }

} // namespace qorlu::afs
