#pragma once
// PPF patch files: the bytes that turn one raw CD image into a modified one,
// at raw file offsets (whole 2352-byte sectors, headers and trailers
// included). Every number is little-endian.
//
// PPF 1.0
//   0     5     magic "PPF10"
//   5     1     method 0
//   6     50    description, padded with spaces
//   56    ...   records: 4-byte offset, 1-byte length N, N new bytes
// PPF 2.0
//   0     5     magic "PPF20"
//   5     1     method 1
//   6     50    description
//   56    4     length of the original image in bytes
//   60    1024  validation block: the original image's bytes at 0x9320
//   1084  ...   records: 4-byte offset, 1-byte length N, N new bytes
//   end         file_id.diz trailer (optional), with a 4-byte length
// PPF 3.0
//   0     5     magic "PPF30"
//   5     1     method 2
//   6     50    description
//   56    1     image type: 0 for a raw image (".bin"); no other is known here
//   57    1     nonzero: the validation block follows
//   58    1     nonzero: every record carries undo data
//   59    1     0
//   60    1024  validation block (only when byte 57 says so)
//   ...   ...   records: 8-byte offset, 1-byte length N, N new bytes, and
//               with undo data the N bytes they replace
//   end         file_id.diz trailer (optional), with a 2-byte length, or a
//               2-byte length and 2 zero bytes
// file_id.diz trailer: "@BEGIN_FILE_ID.DIZ", the text, "@END_FILE_ID.DIZ",
// then the length of the text in bytes. PPF 1.0 has none.
//
// 0x9320 is byte 32 of raw sector 16: the ISO 9660 volume descriptor,
// which differs from one disc to the next. An image too short to hold all
// 1024 bytes counts as zero past its end, when a patch is made and when one
// is checked.
//
// Everything here is pure and may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorlu::ppf {

inline constexpr std::uint64_t kValidationOffset = 0x9320;
inline constexpr std::size_t kValidationSize = 1024;
inline constexpr std::size_t kDescriptionSize = 50;
inline constexpr std::size_t kMaxRecordLength = 255;
inline constexpr std::size_t kPpf3HeaderSize = 60;

enum class Version { V1 = 1, V2 = 2, V3 = 3 };

// One record: `newBytes` go to image position `offset`; `oldBytes` are the
// bytes they replace (empty without undo data). Both are views into the
// parsed file's bytes.
struct Record {
    std::uint64_t offset = 0;
    std::span<const std::uint8_t> newBytes;
    std::span<const std::uint8_t> oldBytes;
};

struct Patch {
    Version version = Version::V3;
    std::string description;                   // trailing spaces removed
    std::span<const std::uint8_t> validation;  // kValidationSize bytes, or empty when none
    std::optional<std::uint64_t> originalSize; // PPF 2.0 only
    bool hasUndo = false;
    std::vector<Record> records;
    std::optional<std::string> fileIdDiz; // the trailer's text, when there is one
};

enum class Problem {
    None,
    NotPpf,           // no known magic
    DamagedHeader,    // the method byte does not match the magic
    UnknownImageType, // PPF 3.0 for an image type other than 0
    CutShort,         // the header, a record or its bytes end past the end of the file
    DamagedTrailer,   // a file_id.diz trailer that is not whole
};

struct ParseResult {
    Problem problem = Problem::None;
    std::uint64_t at = 0;   // where in the file the problem lies
    std::uint8_t value = 0; // the image type, for UnknownImageType
    Patch patch;            // complete only when problem is None
};

// Reads the patch in `file`, whose bytes must outlive the result (records
// point into them). Every record is checked to lie whole inside the file.
ParseResult Parse(std::span<const std::uint8_t> file);

// The 60-byte header of a PPF 3.0 patch for a raw image, with the
// validation block (to follow it) and, when `undo`, undo data in its
// records. `description` holds at most kDescriptionSize bytes.
std::vector<std::uint8_t> Ppf3Header(std::string_view description, bool undo);

// Writes PPF 3.0 records for changed bytes handed over in image order.
// Changes that continue the open record extend it up to kMaxRecordLength
// bytes. The encoded bytes go to `out` in pieces of up to about 1 MiB.
class RecordWriter {
public:
    using Output = std::function<bool(std::span<const std::uint8_t>)>;
    RecordWriter(bool undo, Output out);

    // `count` bytes from image position `offset` on change from `oldBytes`
    // to `newBytes`. Positions never go back. False once `out` failed.
    bool Changed(std::uint64_t offset, const std::uint8_t* newBytes, const std::uint8_t* oldBytes, std::size_t count);
    // The open record and everything buffered, out.
    bool Finish();

    std::uint64_t Records() const { return m_records; }
    std::uint64_t ChangedBytes() const { return m_changedBytes; }

private:
    void Close();
    bool Drain(std::size_t above);

    bool m_undo;
    Output m_out;
    bool m_failed = false;
    std::vector<std::uint8_t> m_buffer;
    bool m_open = false;
    std::size_t m_recordAt = 0; // where the open record starts in m_buffer
    std::uint64_t m_recordOffset = 0;
    std::size_t m_recordLength = 0;
    std::uint8_t m_oldBytes[kMaxRecordLength] = {};
    std::uint64_t m_records = 0;
    std::uint64_t m_changedBytes = 0;
};

// Calls `run(start, count)` for every maximal run of bytes that differ
// between a[0, n) and b[0, n), in order.
void ForEachDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n,
                       const std::function<void(std::size_t, std::size_t)>& run);

} // namespace qorlu::ppf
