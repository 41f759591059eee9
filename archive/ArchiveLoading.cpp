#include "archive/ArchiveLoading.h"

namespace qorlu {

bool LocateAndLoadIndex(CAfsArchive& archive, const std::string& imagePath, IMessageSink& owner) {
    if (!archive.LocateArchive(imagePath, kArchiveName)) return false;
    if (!archive.LoadIndex()) {
        owner.Show(WindowNotice("filedata.afs load error!", Outcome::Failure));
        return false;
    }
    return true;
}

} // namespace qorlu
