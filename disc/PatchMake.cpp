// Making a PPF 3.0 patch: the two images read once, side by side, and every
// run of bytes that differs written as records to a temporary beside the
// patch, which replaces the patch once it is whole and on disk.

#include "disc/CueSheet.h"
#include "disc/DiscImage.h"
#include "disc/PatchFiles.h"
#include "disc/PatchMessages.h"
#include "disc/PpfPatch.h"
#include "io/BinaryFile.h"

#include <new>
#include <optional>
#include <vector>

namespace qorlu {

namespace {

using patch_text::Counted;
using patch_text::Refusal;

std::string NothingWritten(std::string text) {
    text += "\nNothing was written.";
    return text;
}

// One of the two images, open under a shared lock.
struct Source {
    std::string chosen; // as the user gave it
    std::string file;   // the file that holds the sectors
};

std::optional<Source> SourceOf(const std::string& chosen, IMessageSink& messages) {
    Source source{chosen, chosen};
    if (IsCueSheetPath(chosen)) {
        std::string problem;
        const auto data = DataFileOfCueSheet(chosen, problem);
        if (!data) {
            messages.Show(Refusal(problem));
            return std::nullopt;
        }
        source.file = *data;
    }
    // Said here with the file's name: the image's own refusal names neither.
    FileHandle probe;
    if (!probe.Open(source.file, FileHandle::Mode::Read)) {
        messages.Show(Refusal(CanNotReadFile(source.file)));
        return std::nullopt;
    }
    return source;
}

bool SameFile(const std::string& a, const std::string& b) {
    const auto x = IdentityOf(a);
    const auto y = IdentityOf(b);
    return x && y && *x == *y;
}

bool Exists(const std::string& path) { return KindOf(path, Links::Keep) != NameKind::Missing; }

bool ReadExactly(CDiscImage& image, std::uint64_t position, std::uint8_t* into, std::size_t count) {
    const auto got = image.m_file.Handle().ReadAt(position, into, count);
    return got && *got == count;
}

bool MakePatch(const std::string& original, const std::string& modified, const std::string& patch,
               const PatchMakeOptions& options, IMessageSink& messages) {
    if (options.description.size() > ppf::kDescriptionSize) {
        std::string text = "The description has ";
        text += std::to_string(options.description.size());
        text += " bytes; a patch holds at most 50.";
        messages.Show(Refusal(NothingWritten(text)));
        return false;
    }
    const auto from = SourceOf(original, messages);
    if (!from) return false;
    const auto to = SourceOf(modified, messages);
    if (!to) return false;
    for (const std::string& image : {from->chosen, from->file, to->chosen, to->file}) {
        if (SameFile(patch, image)) {
            messages.Show(Refusal(NothingWritten("The patch would be written over an image:\n" + patch)));
            return false;
        }
    }

    // Shared locks on both for the whole comparison: an import is waited
    // for, never read half done, and an interrupted one is undone first.
    CDiscImage a(messages);
    CDiscImage b(messages);
    a.m_strImagePath = from->chosen;
    b.m_strImagePath = to->chosen;
    if (from->file != from->chosen) a.m_strImageFile = from->file;
    if (to->file != to->chosen) b.m_strImageFile = to->file;
    if (!a.OpenImage(CDiscImage::OpenMode::ReadOnly) || !b.OpenImage(CDiscImage::OpenMode::ReadOnly)) return false;
    const auto length = a.m_file.Length();
    const auto otherLength = b.m_file.Length();
    if (!length || !otherLength) {
        messages.Show(Refusal(CanNotReadFile(length ? to->file : from->file)));
        return false;
    }
    if (*length != *otherLength) {
        std::string text = "The two images differ in length:\n";
        text += from->chosen;
        text += "\nhas ";
        text += std::to_string(*length);
        text += " bytes,\n";
        text += to->chosen;
        text += "\nhas ";
        text += std::to_string(*otherLength);
        text += " bytes.\nA patch only changes bytes; both images must be of one length.";
        messages.Show(Refusal(NothingWritten(text)));
        return false;
    }

    // The original's validation block, zero where the image ends before it.
    std::vector<std::uint8_t> block(ppf::kValidationSize, 0);
    const auto got = a.m_file.Handle().ReadAt(ppf::kValidationOffset, block.data(), block.size());
    if (!got) {
        messages.Show(Refusal(CanNotReadFile(from->file)));
        return false;
    }
    if (*got < block.size()) {
        messages.Show(SystemNotice("The original image ends before byte 38688 (0x9720), the end of the 1024 "
                                   "bytes a patch checks:\n" +
                                       from->chosen +
                                       "\nThe patch checks the missing bytes as zeros, so it tells this image "
                                       "less well from others.",
                                   "", Outcome::Warning));
    }

    // An existing patch is replaced under its lock, so that two programs
    // writing one patch go one after the other.
    ContainerLock lock;
    if (Exists(patch)) {
        const LockedOpen locked = lock.Take(patch, LockKind::Exclusive);
        if (locked == LockedOpen::InUse) {
            messages.Show(Refusal(InUseByAnotherProgram(patch)));
            return false;
        }
        if (locked != LockedOpen::Opened) {
            messages.Show(Refusal(NothingWritten(CanNotWriteFile(patch))));
            return false;
        }
    }
    SafeReplacement out;
    if (!out.Begin(patch, SafeReplacement::Target::ExistingOrNew)) {
        messages.Show(Refusal(NothingWritten(CanNotWriteFile(patch))));
        return false;
    }
    out.Write(ppf::Ppf3Header(options.description, options.undo));
    out.Write(block);

    ppf::RecordWriter records(options.undo, [&out](std::span<const std::uint8_t> bytes) { return out.Write(bytes); });
    std::vector<std::uint8_t> before(kCompareRun);
    std::vector<std::uint8_t> after(kCompareRun);
    bool writing = true;
    for (std::uint64_t position = 0; position < *length && writing;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kCompareRun, *length - position));
        const bool readBefore = ReadExactly(a, position, before.data(), n);
        if (!readBefore || !ReadExactly(b, position, after.data(), n)) {
            messages.Show(Refusal(NothingWritten(CanNotReadFile(readBefore ? to->file : from->file))));
            return false;
        }
        ppf::ForEachDifference(before.data(), after.data(), n, [&](std::size_t start, std::size_t count) {
            writing = writing && records.Changed(position + start, after.data() + start, before.data() + start, count);
        });
        position += n;
    }
    if (!writing || !records.Finish() || !out.Commit()) {
        messages.Show(Refusal(NothingWritten(CanNotWriteFile(patch))));
        return false;
    }
    a.CloseImage();
    b.CloseImage();

    std::string text = "The patch was written:\n" + patch + "\n";
    if (records.ChangedBytes() == 0) {
        text += "It changes nothing: the two images are the same.";
    } else {
        text += "It changes ";
        text += Counted(records.ChangedBytes(), "byte");
        text += " in ";
        text += Counted(records.Records(), "record");
        text += options.undo ? ", with undo data." : ".";
    }
    messages.Show(SystemNotice(text, "", Outcome::Success));
    return true;
}

} // namespace

bool MakePatchFile(const std::string& original, const std::string& modified, const std::string& patch,
                   const PatchMakeOptions& options, IMessageSink& messages) {
    try {
        return MakePatch(original, modified, patch, options, messages);
    } catch (const std::bad_alloc&) {
        messages.Show(Refusal(NothingWritten("Not enough memory to make the patch:\n" + patch)));
        return false;
    }
}

} // namespace qorlu
