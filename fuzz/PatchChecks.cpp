// The patch target: an arbitrary file read as a PPF patch and applied to a
// small raw image (or taken back with its undo data). A patch that is
// refused leaves the image byte for byte as it was; one that is applied
// changes only bytes its records write and the checksums of the sectors
// they touch, or nothing when it says it is in place already; either way
// there is one message and no journal. Applied (or taken back) a second
// time, a patch that went through is in place already and changes nothing.
//
// Input: 0 flags (bit 0: --undo, bit 1: an image of plain 2048-byte
// sectors), then the patch file.

#include "disc/ImageJournal.h"
#include "disc/PatchFiles.h"
#include "disc/PatchMessages.h"
#include "disc/PpfPatch.h"
#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzWorkspace.h"
#include "tests/support/MessageRecorder.h"
#include "tools/AfsBuilder.h"
#include "tools/RawSectorWriter.h"

namespace qorlu::fuzz {

namespace {

// Sectors enough to hold the validation bytes at 0x9320 and a few beyond.
constexpr std::size_t kImageSectors = 20;
constexpr std::size_t kRaw = 2352;

// Whether image byte `at` may differ after the patch: a byte a record
// writes, or a checksum byte of a raw sector a record writes into.
bool MayChange(const ppf::Patch& patch, bool undo, bool raw, std::uint64_t at) {
    for (const ppf::Record& r : patch.records) {
        const std::size_t count = (undo ? r.oldBytes : r.newBytes).size();
        if (count == 0) continue;
        if (at >= r.offset && at - r.offset < count) return true;
        if (raw && at % kRaw >= 2072) {
            const std::uint64_t sector = at / kRaw;
            if (r.offset / kRaw <= sector && sector <= (r.offset + count - 1) / kRaw) return true;
        }
    }
    return false;
}

} // namespace

const Bytes& PatchTargetImage(bool plain) {
    static const Bytes raw = tools::WrapIntoRawSectors(tools::PatternBytes(kImageSectors * 2048, 77));
    static const Bytes iso = tools::PatternBytes(kImageSectors * 2048, 78);
    return plain ? iso : raw;
}

Finding CheckPatch(std::span<const std::uint8_t> input) {
    InputReader reader(input);
    const std::uint8_t flags = reader.U8();
    const bool undo = (flags & 1) != 0;
    const bool plain = (flags & 2) != 0;
    const auto file = reader.Rest();

    const ppf::ParseResult parsed = ppf::Parse(file);
    if (parsed.problem == ppf::Problem::None) {
        for (const ppf::Record& r : parsed.patch.records) {
            for (const auto bytes : {r.newBytes, r.oldBytes}) {
                if (!bytes.empty() &&
                    (bytes.data() < file.data() || bytes.data() + bytes.size() > file.data() + file.size()))
                    return "a record's bytes lie outside the patch";
            }
            if (!r.oldBytes.empty() && r.oldBytes.size() != r.newBytes.size()) return "undo bytes of another length";
        }
        if (!parsed.patch.validation.empty() && parsed.patch.validation.size() != ppf::kValidationSize)
            return "a validation block of the wrong size";
    }

    const fs::path root = FreshFolder();
    const fs::path image = root / (plain ? "disc.iso" : "disc.bin");
    const fs::path patchPath = root / "p.ppf";
    const Bytes& before = PatchTargetImage(plain);
    PutFile(image, before);
    PutFile(patchPath, file);
    test::MessageRecorder messages;
    const bool applied = ApplyPatchFile(image.string(), patchPath.string(), undo, messages);

    const auto notices = messages.Notices();
    if (notices.size() != 1) {
        Finding finding = "the apply showed ";
        finding += std::to_string(notices.size());
        finding += " messages";
        return finding;
    }
    if ((notices[0].outcome == Outcome::Success) != applied) return "the message does not match the outcome";
    if (fs::exists(JournalPathFor(image.string()))) return "a journal was left";
    const auto after = GetFile(image);
    if (!after) return "the image went away";
    if (!applied) return *after == before ? Finding() : "a refused patch changed the image";
    if (parsed.problem != ppf::Problem::None) return "a patch the reader refuses was applied";
    if (after->size() != before.size()) return "the apply changed the image's length";
    const std::string inPlace = patch_text::AlreadyDone(image.string(), undo);
    if (notices[0].text == inPlace && *after != before) return "a patch in place already changed the image";
    for (std::size_t i = 0; i < before.size(); ++i) {
        if ((*after)[i] != before[i] && !MayChange(parsed.patch, undo, !plain, i)) {
            Finding finding = "the apply changed byte ";
            finding += std::to_string(i);
            finding += ", which no record writes";
            return finding;
        }
    }

    messages.Clear();
    if (!ApplyPatchFile(image.string(), patchPath.string(), undo, messages)) return "a second apply was refused";
    if (messages.Texts() != std::vector<std::string>{inPlace}) return "a second apply found something to change";
    if (GetFile(image) != after) return "a second apply changed the image";
    return {};
}

} // namespace qorlu::fuzz
