#pragma once
// Block import: an exported block file goes back into its container. The
// file's name alone names both: "<container>_<n>", where the last four
// characters are "_" and the block number. The file is compressed at level 9
// and the container rewritten with the new stream, the block header's two
// size words and, in a multi-block container, the index moved along.
//
// Multi-block rewrite of block i (R = index record, e[] = table entries,
// N = entry count, S = new stream length):
//
//   [0, R+e[i]+32)      unchanged, except the header's packed size (:= S),
//                       unpacked size (:= file length) and the later table
//                       entries (+= P - D)
//   P bytes             the new stream and 1 to 16 zero bytes,
//                       P = (S / 16 + 1) * 16
//   [R+e[i+1], end)     the rest of the container, bytes unchanged
//                       (absent when i is the table's last entry)
//
// where D = e[i+1] - e[i] - 32 is the room of the old stream. A one-block
// container ends right after the new stream, with no filler.

#include "base/Message.h"

#include <optional>
#include <string>
#include <string_view>

namespace qorlu {

// The block number a dropped name carries, or nothing when the name is not
// one that export writes. The last four characters (the whole name when it
// is shorter) must start with "_"; the number is read from the remaining
// three the way "%d" reads: leading blanks, an optional sign, then digits up
// to the first non-digit ("_12x" is 12). No digits, or -1, is refused.
std::optional<int> ParseBlockNumber(std::string_view droppedPath);

// The container a dropped name belongs to: the name without its last four
// characters.
std::string ContainerPathOf(const std::string& droppedPath);

// Imports the file at `path` into its container. Tells the outcome in
// exactly one box: "OK!" on success, otherwise the failure. Every check runs
// before the container is written, and the container is replaced through a
// temporary file, so on any failure it stays byte for byte as it was.
void ImportBlock(IMessageSink& owner, const std::string& path);

} // namespace qorlu
