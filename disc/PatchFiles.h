#pragma once
// Making and applying PPF patches (disc/PpfPatch.h) of whole image files,
// for `qorlu patch-make`, `qorlu patch-apply` and a patch dropped on the
// unpacker's window. Each tells the user the outcome through the message
// sink: one Success notice, or Failure notices saying what was refused.
//
// An image may be a raw ".bin", a plain ".iso" or a ".cue" sheet (the data
// file it names); positions in a patch are positions in that file.
//
// Making reads both images once, side by side, in runs of kCompareRun bytes
// under shared locks, and writes the patch through a temporary file beside
// it that is flushed and renamed over it (SafeReplacement): the patch file
// is at every moment the old one, or the complete new one.
//
// Applying is a change of the image like an import: under the image's
// exclusive lock everything is checked first (the patch's header and every
// record, the validation block and, for PPF 2.0, the image's length, that
// no record reaches past the image's end, and with undo data that each
// record finds the bytes it replaces or the ones it writes), then every
// sector a record changes is planned whole and written once through the
// rollback journal (CDiscImage::WriteJournaled). Records that find their
// bytes in place already are not written; when all of them do, nothing is
// written and the patch is said to be applied (or taken back) already. The
// checksums of each written raw sector follow CDiscImage::PlanImageWrites:
// renewed when it was a valid Mode 2 Form 1 sector, stays one, and the
// patch sets none of its error-detection and -correction bytes; otherwise
// the sector holds exactly what the patch leaves. A failure of any kind
// leaves the image as it was. Applying needs memory for the patch file,
// once more for the image's bytes under its records, and twice the sectors
// it touches.

#include "base/Message.h"

#include <cstddef>
#include <string>

namespace qorlu {

// Bytes read from each image at once while a patch is made.
inline constexpr std::size_t kCompareRun = 1 << 20;

struct PatchMakeOptions {
    std::string description; // at most 50 bytes; shown by the tools that apply it
    bool undo = false;       // records carry the bytes they replace
};

// Writes a PPF 3.0 patch at `patch` that turns the image `original` into
// `modified` (of the same length), with the validation block of `original`.
// Nothing is written when anything fails.
bool MakePatchFile(const std::string& original, const std::string& modified, const std::string& patch,
                   const PatchMakeOptions& options, IMessageSink& messages);

// Applies the PPF 1.0, 2.0 or 3.0 patch at `patch` to `image`, or with
// `undo` puts back the bytes its undo data holds. True also when there was
// nothing to change. The window loads the
// archive's index again afterwards: the patch may have changed it.
bool ApplyPatchFile(const std::string& image, const std::string& patch, bool undo, IMessageSink& messages);

} // namespace qorlu
