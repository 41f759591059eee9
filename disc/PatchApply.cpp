// Applying a PPF patch to an image, or taking it back with its undo data:
// checked whole under the image's exclusive lock, then written through the
// rollback journal, so that the image is at every moment as it was or as
// the patch leaves it.

#include "disc/CueSheet.h"
#include "disc/DiscImage.h"
#include "disc/PatchFiles.h"
#include "disc/PatchMessages.h"
#include "disc/PpfPatch.h"
#include "shell/BinaryFile.h"
#include "shell/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qorlu {

namespace {

using patch_text::Counted;
using patch_text::Refusal;

std::string NothingChanged(std::string text) {
    text += "\nNothing was changed.";
    return text;
}

std::string Hex(std::uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 15]);
        value >>= 4;
    } while (value != 0);
    out.insert(0, "0x");
    return out;
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
        messages.Show(Refusal(NothingChanged("The patch carries no undo data, so it can not be taken back:\n" +
                                             patchPath)));
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
        if (disc.LastOpenFailure() != CDiscImage::OpenFailure::InUse)
            messages.Show(Refusal("can not open ISO file!"));
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
    if (!patch.validation.empty()) {
        // The image's bytes where the original's were taken, zero past its
        // end; taking the patch back, as they will be once the old bytes
        // are back.
        std::vector<std::uint8_t> block(ppf::kValidationSize, 0);
        if (!disc.m_file.Handle().ReadAt(ppf::kValidationOffset, block.data(), block.size())) {
            messages.Show(Refusal(NothingChanged(CanNotReadFile(disc.ImageFile()))));
            return false;
        }
        if (undo) {
            for (auto r = patch.records.rbegin(); r != patch.records.rend(); ++r) {
                if (r->offset > UINT64_MAX - r->oldBytes.size()) continue; // past any image's end
                const std::uint64_t first = std::max(r->offset, ppf::kValidationOffset);
                const std::uint64_t end =
                    std::min(r->offset + r->oldBytes.size(), ppf::kValidationOffset + ppf::kValidationSize);
                if (first >= end) continue;
                std::memcpy(block.data() + (first - ppf::kValidationOffset),
                            r->oldBytes.data() + (first - r->offset), static_cast<std::size_t>(end - first));
            }
        }
        if (!std::equal(block.begin(), block.end(), patch.validation.begin())) {
            std::string why = "The 1024 bytes it checks at byte 37664 (0x9320) differ";
            why += undo ? " from what the image would hold without the patch." : " from the image's.";
            messages.Show(Refusal(AnotherImage(image, why)));
            return false;
        }
    }

    std::vector<ImageWrite> writes;
    writes.reserve(patch.records.size());
    std::uint64_t bytes = 0;
    for (std::size_t k = 0; k < patch.records.size(); ++k) {
        const ppf::Record& r = patch.records[undo ? patch.records.size() - 1 - k : k];
        const auto& put = undo ? r.oldBytes : r.newBytes;
        if (!InBounds(r.offset, put.size(), *length)) {
            std::string text = "The patch changes bytes past the end of the image:\n";
            text += image;
            text += "\nThe image has ";
            text += std::to_string(*length);
            text += " bytes; a record of the patch writes ";
            text += std::to_string(put.size());
            text += " at byte ";
            text += std::to_string(r.offset);
            text += " (";
            text += Hex(r.offset);
            text += ").";
            messages.Show(Refusal(NothingChanged(text)));
            return false;
        }
        if (put.empty()) continue;
        writes.push_back({r.offset, put.data(), static_cast<std::uint32_t>(put.size())});
        bytes += put.size();
    }

    SectorPlan plan;
    if (!disc.PlanImageWrites(writes, plan)) {
        messages.Show(Refusal(NothingChanged(CanNotReadFile(disc.ImageFile()))));
        return false;
    }
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
    text += Counted(writes.size(), "record");
    text += ", ";
    text += Counted(plan.sectors.size(), "sector");
    text += " written.";
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
