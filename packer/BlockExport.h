#pragma once
// Block export: every compressed block of a container, inflated, goes to a
// file of its own next to the container, named after it: the container's
// path as given, "_" and the block number with at least three digits
// ("DATA.BIN_000", "DATA.BIN_001", ... "DATA.BIN_1000"). The files hold the
// inflated bytes only, no header. Block numbers follow the index's table
// order in a multi-block container.

#include "base/Message.h"

#include <cstdint>
#include <string>

namespace qorlu {

// "<containerPath>_<number, at least three digits>".
std::string NumberedBlockName(const std::string& containerPath, std::uint64_t number);

// Largest number of bytes that `packedSize` bytes of zlib stream can inflate
// to. Deflate spends at least two bits on a 258-byte match, so no stream
// exceeds 1032 output bytes per input byte; the slack covers the stream's
// first literal. Export sizes its buffer by the smaller of this and the
// header's unpacked size, so a header cannot make it allocate gigabytes for a
// few bytes of stream.
std::uint64_t MaxInflatedSize(std::uint32_t packedSize);

// Exports every block of the container at `path`. Tells the outcome in
// exactly one box: "OK!" on success, otherwise the failure. Every block's
// header and stream are checked against the file before the first output is
// written, so a container whose sizes or table point outside it leaves
// nothing behind; an inflate failure keeps the files of the blocks before it.
void ExportBlocks(IMessageSink& owner, const std::string& path);

} // namespace qorlu
