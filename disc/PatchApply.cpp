// Applying a PPF patch to an image, or taking it back with its undo data:
// checked whole under the image's exclusive lock, then written through the
// rollback journal, so that the image is at every moment as it was or as
// the patch leaves it.
//
// With undo data every record is checked against the bytes it finds, in the
// order the records go (file order to apply, from the last record back to
// take back), each as the records before it leave the image: a record that
// finds the bytes it changes is written, one that finds the bytes it would
// leave is in place already, any other refuses the patch. Without undo data
// nothing tells a record's old bytes, and records are written as they are.

#include "disc/CueSheet.h"
#include "disc/DiscImage.h"
#include "disc/PatchFiles.h"
#include "disc/PatchMessages.h"
#include "disc/PpfPatch.h"
#include "io/BinaryFile.h"
#include "format/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qorlu {

namespace {

using patch_text::BytePosition;
using patch_text::Counted;
using patch_text::Refusal;

std::string NothingChanged(std::string text) {
    text += "\nNothing was changed.";
    return text;
}

// The text for a patch that cannot be used as it is.
std::string ParseProblem(const ppf::ParseResult& parsed, const std::string& patch) {
    std::string text;
    switch (parsed.problem) {
    case ppf::Problem::None:
        break;
    case ppf::Problem::NotPpf:
        text = "This is not a PPF patch:\n";
        text += patch;
        break;
    case ppf::Problem::UnknownImageType:
        text = "The patch is for another kind of image (image type ";
        text += std::to_string(parsed.value);
        text += "), not a raw image:\n";
        text += patch;
        break;
    case ppf::Problem::DamagedHeader:
    case ppf::Problem::CutShort:
    case ppf::Problem::DamagedTrailer:
        text = "The patch is damaged or cut short:\n";
        text += patch;
        text += parsed.problem == ppf::Problem::DamagedHeader    ? "\nIts header does not match its version"
                : parsed.problem == ppf::Problem::DamagedTrailer ? "\nIts file_id.diz text is not whole, at byte "
                                                                 : "\nIt ends inside the part that begins at byte ";
        if (parsed.problem != ppf::Problem::DamagedHeader) text += std::to_string(parsed.at);
        text += ".";
        break;
    }
    return NothingChanged(text);
}

std::string AnotherImage(const std::string& image, const std::string& why) {
    std::string text = "The patch was made for another image:\n";
    text += image;
    text += "\n";
    text += why;
    return NothingChanged(text);
}

std::string ValidationDiffers(bool undo) {
    std::string why = "The 1024 bytes it checks at byte 37664 (0x9320) differ";
    why += undo ? " from what the image would hold without the patch." : " from the image's.";
    return why;
}

// The bytes a record puts in place, going in the given direction.
std::span<const std::uint8_t> Put(const ppf::Record& r, bool undo) { return undo ? r.oldBytes : r.newBytes; }

// The image's bytes under the records, taken from a plan's sectors (which
// hold every byte a record touches) into one buffer per run of touched
// bytes: what the records are checked against and planned over. It holds
// at most as many bytes as the records carry.
class RecordBytes {
public:
    RecordBytes(std::span<const ppf::Record> records, const SectorPlan& plan) : m_plan(plan) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
        for (const ppf::Record& r : records)
            if (!r.newBytes.empty()) ranges.emplace_back(r.offset, r.offset + r.newBytes.size());
        std::sort(ranges.begin(), ranges.end());
        std::size_t at = 0;
        for (const auto& [from, end] : ranges) {
            if (!m_runs.empty() && from <= m_runs.back().from + m_runs.back().size) {
                Run& last = m_runs.back();
                const auto grown = static_cast<std::size_t>(std::max(end - last.from, std::uint64_t{last.size}));
                at += grown - last.size;
                last.size = grown;
            } else {
                m_runs.push_back({from, at, static_cast<std::size_t>(end - from)});
                at += m_runs.back().size;
            }
        }
        m_bytes.resize(at);
        Reset();
    }

    // Back to the image's bytes.
    void Reset() {
        for (const Run& run : m_runs) std::memcpy(m_bytes.data() + run.at, Before(run.from), run.size);
    }

    // Whether every byte is the image's.
    bool Unchanged() const {
        return std::all_of(m_runs.begin(), m_runs.end(), [this](const Run& run) {
            return std::memcmp(m_bytes.data() + run.at, Before(run.from), run.size) == 0;
        });
    }

    // The `count` bytes from image position `offset` on, of a record.
    std::span<std::uint8_t> Of(std::uint64_t offset, std::size_t count) {
        const auto next = std::upper_bound(m_runs.begin(), m_runs.end(), offset,
                                           [](std::uint64_t o, const Run& run) { return o < run.from; });
        const Run& run = *(next - 1);
        return std::span<std::uint8_t>(m_bytes).subspan(run.at + static_cast<std::size_t>(offset - run.from), count);
    }

private:
    struct Run {
        std::uint64_t from; // image position
        std::size_t at;     // where in m_bytes
        std::size_t size;
    };

    // Image position `offset` in the plan's sectors. A run's sectors are
    // consecutive there, so its bytes lie in one piece.
    const std::uint8_t* Before(std::uint64_t offset) const {
        const std::uint64_t raw = m_plan.rawSectorSize;
        const auto& sectors = m_plan.sectors;
        const auto sector = std::lower_bound(sectors.begin(), sectors.end(), offset / raw);
        const auto k = static_cast<std::size_t>(sector - sectors.begin());
        return m_plan.before.data() + k * raw + static_cast<std::size_t>(offset % raw);
    }

    const SectorPlan& m_plan;
    std::vector<Run> m_runs; // by position, apart from one another
    std::vector<std::uint8_t> m_bytes;
};

// Drops the planned sectors that `keep` does not mark, in place.
void KeepSectors(SectorPlan& plan, const std::vector<bool>& keep) {
    const std::size_t raw = plan.rawSectorSize;
    std::size_t j = 0;
    for (std::size_t i = 0; i < plan.sectors.size(); ++i) {
        if (!keep[i]) continue;
        if (i != j) {
            plan.sectors[j] = plan.sectors[i];
            std::memcpy(plan.before.data() + j * raw, plan.before.data() + i * raw, raw);
            std::memcpy(plan.after.data() + j * raw, plan.after.data() + i * raw, raw);
        }
        ++j;
    }
    plan.sectors.resize(j);
    plan.before.resize(j * raw);
    plan.after.resize(j * raw);
}

bool Apply(const std::string& image, const std::string& patchPath, bool undo, IMessageSink& messages) {
    WholeFile file = LoadWholeFile(patchPath);
    if (file.status == WholeFileStatus::TooLarge) {
        messages.Show(Refusal(NothingChanged("The patch is too large to hold in memory:\n" + patchPath)));
        return false;
    }
    if (!file.Ok()) {
        messages.Show(Refusal(NothingChanged(CanNotReadFile(patchPath))));
        return false;
    }
    const ppf::ParseResult parsed = ppf::Parse(file.bytes);
    if (parsed.problem != ppf::Problem::None) {
        messages.Show(Refusal(ParseProblem(parsed, patchPath)));
        return false;
    }
    const ppf::Patch& patch = parsed.patch;
    if (undo && !patch.hasUndo) {
        messages.Show(
            Refusal(NothingChanged("The patch carries no undo data, so it can not be taken back:\n" + patchPath)));
        return false;
    }

    CDiscImage disc(messages);
    disc.m_strImagePath = image;
    if (IsCueSheetPath(image)) {
        std::string problem;
        const auto data = DataFileOfCueSheet(image, problem);
        if (!data) {
            messages.Show(Refusal(problem));
            return false;
        }
        disc.m_strImageFile = *data;
    }
    // From here on under the exclusive lock: what is checked is what is written.
    if (!disc.OpenImage(CDiscImage::OpenMode::ReadWrite)) {
        // A busy image has said so already; nothing else went wrong.
        if (disc.LastOpenFailure() != CDiscImage::OpenFailure::InUse) messages.Show(Refusal("can not open ISO file!"));
        return false;
    }
    const auto length = disc.m_file.Length();
    if (!length) {
        messages.Show(Refusal(NothingChanged(CanNotReadFile(disc.ImageFile()))));
        return false;
    }
    if (patch.originalSize && *patch.originalSize != *length) {
        std::string why = "It is for an image of ";
        why += std::to_string(*patch.originalSize);
        why += " bytes; this one has ";
        why += std::to_string(*length);
        why += ".";
        messages.Show(Refusal(AnotherImage(image, why)));
        return false;
    }
    // The order the records go in: taken back, the last one first.
    std::vector<const ppf::Record*> order;
    order.reserve(patch.records.size());
    for (const ppf::Record& r : patch.records) order.push_back(&r);
    if (undo) std::reverse(order.begin(), order.end());

    // Without undo data, bytes of the validation block that records write
    // may hold the patch's bytes when it is applied already; they are
    // compared once that is known.
    bool underRecordsDiffer = false;
    if (!patch.validation.empty()) {
        // The image's bytes where the original's were taken, zero past its
        // end; with undo data, as they are without the patch (the old bytes
        // laid over them, the first record's last).
        std::vector<std::uint8_t> block(ppf::kValidationSize, 0);
        if (!disc.m_file.Handle().ReadAt(ppf::kValidationOffset, block.data(), block.size())) {
            messages.Show(Refusal(NothingChanged(CanNotReadFile(disc.ImageFile()))));
            return false;
        }
        std::vector<bool> underRecords(ppf::kValidationSize, false);
        for (auto r = patch.records.rbegin(); r != patch.records.rend(); ++r) {
            if (r->offset > UINT64_MAX - r->newBytes.size()) continue; // past any image's end
            const std::uint64_t first = std::max(r->offset, ppf::kValidationOffset);
            const std::uint64_t end =
                std::min(r->offset + r->newBytes.size(), ppf::kValidationOffset + ppf::kValidationSize);
            if (first >= end) continue;
            const auto from = static_cast<std::size_t>(first - ppf::kValidationOffset);
            const auto count = static_cast<std::size_t>(end - first);
            std::fill_n(underRecords.begin() + static_cast<std::ptrdiff_t>(from), count, true);
            if (patch.hasUndo) std::memcpy(block.data() + from, r->oldBytes.data() + (first - r->offset), count);
        }
        bool differ = false;
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (block[i] == patch.validation[i]) continue;
            if (!patch.hasUndo && underRecords[i])
                underRecordsDiffer = true;
            else
                differ = true;
        }
        if (differ) {
            messages.Show(Refusal(AnotherImage(image, ValidationDiffers(undo))));
            return false;
        }
    }

    std::vector<ImageWrite> writes;
    writes.reserve(patch.records.size());
    for (const ppf::Record* r : order) {
        const auto put = Put(*r, undo);
        if (!InBounds(r->offset, put.size(), *length)) {
            std::string text = "The patch changes bytes past the end of the image:\n";
            text += image;
            text += "\nThe image has ";
            text += std::to_string(*length);
            text += " bytes; a record of the patch writes ";
            text += std::to_string(put.size());
            text += " at ";
            text += BytePosition(r->offset);
            text += ".";
            messages.Show(Refusal(NothingChanged(text)));
            return false;
        }
        if (!put.empty()) writes.push_back({r->offset, put.data(), static_cast<std::uint32_t>(put.size())});
    }

    // Every record planned, those in place already too: the checksum rule
    // then sees every byte the patch sets in a sector it writes.
    SectorPlan plan;
    if (!disc.PlanImageWrites(writes, plan)) {
        messages.Show(Refusal(NothingChanged(CanNotReadFile(disc.ImageFile()))));
        return false;
    }
    RecordBytes now(patch.records, plan);

    // The image holds what the patch leaves in every byte it sets (the
    // last record's over earlier ones): nothing to do.
    for (const ppf::Record* r : order) {
        const auto put = Put(*r, undo);
        if (!put.empty()) std::copy(put.begin(), put.end(), now.Of(r->offset, put.size()).begin());
    }
    if (now.Unchanged()) {
        messages.Show(SystemNotice(patch_text::AlreadyDone(image, undo), "", Outcome::Success));
        return true;
    }
    if (underRecordsDiffer) {
        messages.Show(Refusal(AnotherImage(image, ValidationDiffers(undo))));
        return false;
    }

    now.Reset();
    std::vector<bool> written(plan.sectors.size(), false);
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    std::uint64_t inPlace = 0;
    plan.writeEnd = 0;
    for (const ppf::Record* r : order) {
        const auto put = Put(*r, undo);
        if (put.empty()) continue;
        const auto there = now.Of(r->offset, put.size());
        if (std::equal(there.begin(), there.end(), put.begin())) {
            ++inPlace;
            continue;
        }
        const auto replaced = undo ? r->newBytes : r->oldBytes;
        if (patch.hasUndo && !std::equal(there.begin(), there.end(), replaced.begin())) {
            messages.Show(Refusal(patch_text::OtherBytes(image, r->offset, undo)));
            return false;
        }
        std::copy(put.begin(), put.end(), there.begin());
        const std::uint64_t raw = plan.rawSectorSize;
        const auto first = std::lower_bound(plan.sectors.begin(), plan.sectors.end(), r->offset / raw);
        const auto last = std::upper_bound(first, plan.sectors.end(), (r->offset + put.size() - 1) / raw);
        std::fill(written.begin() + (first - plan.sectors.begin()), written.begin() + (last - plan.sectors.begin()),
                  true);
        plan.writeEnd = std::max(plan.writeEnd, r->offset + put.size());
        bytes += put.size();
        ++records;
    }
    // Sectors that only records in place already touch are left as they are.
    KeepSectors(plan, written);

    const CDiscImage::JournaledWrite result =
        plan.sectors.empty() ? CDiscImage::JournaledWrite::Written : disc.WriteJournaled(plan);
    const bool closed = disc.CloseImage();
    if (result != CDiscImage::JournaledWrite::Written || !closed) {
        messages.Show(Refusal("can not write ISO file!"));
        return false;
    }

    std::string text = undo ? "The patch was taken back:\n" : "The patch was applied:\n";
    text += image;
    text += "\n";
    text += Counted(bytes, "byte");
    text += " in ";
    text += Counted(records, "record");
    text += ", ";
    text += Counted(plan.sectors.size(), "sector");
    text += " written.";
    if (inPlace > 0) {
        text += "\n";
        text += patch_text::InPlace(inPlace);
    }
    messages.Show(SystemNotice(text, "", Outcome::Success));
    return true;
}

} // namespace

bool ApplyPatchFile(const std::string& image, const std::string& patch, bool undo, IMessageSink& messages) {
    try {
        return Apply(image, patch, undo, messages);
    } catch (const std::bad_alloc&) {
        messages.Show(Refusal(NothingChanged("Not enough memory to apply the patch:\n" + patch)));
        return false;
    }
}

} // namespace qorlu
