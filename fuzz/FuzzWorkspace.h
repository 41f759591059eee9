#pragma once
// What the fuzz checks share: the folder of this process, snapshots of a
// folder's files, a reader over the input bytes, and the disc images built
// from an input.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorlu::fuzz {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// An empty folder for one input: below the system's temporary folder, one
// per process, emptied on every call and removed when the process ends.
fs::path FreshFolder();

void PutFile(const fs::path& path, std::span<const std::uint8_t> bytes);
// The file's bytes, or nothing when it cannot be read.
std::optional<Bytes> GetFile(const fs::path& path);

// Every file and folder below `root` by its relative path ("/"-separated);
// folders map to nothing. Symbolic links are listed, never followed.
using Snapshot = std::map<std::string, std::optional<Bytes>>;
Snapshot TakeSnapshot(const fs::path& root);
// How `after` differs from `before`, in a few words; empty when equal.
std::string DescribeChange(const Snapshot& before, const Snapshot& after);

// Reads numbers and slices from the front of an input; past its end it
// gives zeros and empty slices.
class InputReader {
public:
    explicit InputReader(std::span<const std::uint8_t> input) : m_input(input) {}
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U24();
    std::span<const std::uint8_t> Take(std::size_t count);
    std::span<const std::uint8_t> Rest();

private:
    std::span<const std::uint8_t> m_input;
    std::size_t m_at = 0;
};

// The disc part of the archive inputs:
//   0        1   flags (DiscFlags)
//   1        1   trim: the image loses trim x 16 bytes at its end
//   2        2   entry index (import; taken modulo the entry count)
//   4        2   length of the replacement file (import)
//   6        1   c, the length of the cue sheet text (0: a sheet of our own)
//   7        c   cue sheet text
//   7 + c    ... the archive bytes (or, with kVerbatim, the whole image file)
enum DiscFlags : std::uint8_t {
    kPlainLayout = 0x01,     // 2048-byte sectors instead of raw 2352-byte ones
    kThroughCue = 0x02,      // the image is chosen through a ".cue" sheet
    kAnswerYes = 0x04,       // questions are answered Yes (No otherwise)
    kFilterShift = 3,        // bits 3 and 4: the extraction's filter mode
    kVerbatim = 0x20,        // the payload is the image file itself
    kIntoImageFolder = 0x40, // extract into the image's own folder
};

struct DiscInput {
    std::uint8_t flags = 0;
    std::uint8_t trim = 0;
    std::uint16_t entry = 0;
    std::uint16_t replacementLength = 0;
    std::string cue;
    Bytes payload;
};

DiscInput ParseDiscInput(std::span<const std::uint8_t> input);
Bytes EncodeDiscInput(const DiscInput& disc);

// The sector where a composed image's archive starts, right after the
// directory sector 22 that names it.
inline constexpr std::uint32_t kComposedArchiveSector = 23;

// The image file of an input: the payload itself (kVerbatim), or 23 sectors
// holding a volume descriptor and a directory record for "FILEDATA.AFS",
// then the archive bytes, raw or plain; then the trim.
Bytes ComposeImage(const DiscInput& disc);

struct PlacedDisc {
    fs::path folder;    // holds the image file and the sheet, nothing else
    fs::path imageFile; // "disc.bin"
    fs::path chosen;    // what the user picks: the image or "disc.cue"
};
PlacedDisc PlaceDisc(const DiscInput& disc, const fs::path& folder);

// The image the patch target applies its patches to: 20 raw sectors of
// valid Mode 2 Form 1 sectors, or 20 plain 2048-byte ones.
const Bytes& PatchTargetImage(bool plain);

} // namespace qorlu::fuzz
