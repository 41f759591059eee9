// The extraction job: every entry of the loaded archive, filtered by its
// name's ending, extracted on a worker thread that reports to a progress
// window, polls its cancel flag before each entry and ends with a message.

#include "archive/AfsArchive.h"
#include "archive/ExtractTargets.h"
#include "shell/LastResort.h"
#include "shell/Text.h"
#include "unpacker/ExtractProgress.h"

#include <atomic>

namespace qorlu {

CAfsArchive* g_pExtractArchive = nullptr;

bool IsEntrySelected(const std::string& name, std::int32_t mode) {
    const std::string upper = ToUpperAscii(name);
    const bool adx = upper.size() >= 4 && upper.compare(upper.size() - 4, 4, ".ADX") == 0;
    if (mode == kFilterAdxOnly) return adx;
    if (mode == kFilterOthers) return !adx;
    return true;
}

int CAfsArchive::StartExtract(const std::string& lpszFolder, std::int32_t nFilterMode,
                              IExtractProgress* pProgress) {
    if (m_nEntryCount == 0) return 0;
    WaitForJob();
    m_nFilterMode = nFilterMode;
    m_strOutputDir = lpszFolder;
    g_pExtractArchive = this;
    m_worker = std::thread([pProgress] { ExtractThreadProc(pProgress); });
    return 1;
}

void CAfsArchive::WaitForJob() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) m_worker.join();
}

CAfsArchive::~CAfsArchive() { WaitForJob(); }

std::uint32_t CAfsArchive::ExtractThreadProc(IExtractProgress* pParam) {
    // An exception leaving a thread would end the whole program: the job
    // stops with a message, and the progress window closes as after any job.
    std::uint32_t result = 0;
    const auto stopped = RunGuarded([&] { result = g_pExtractArchive->RunExtractJob(*pParam); });
    if (stopped) {
        g_pExtractArchive->CloseImage();
        g_pExtractArchive->Messages().Show(SystemNotice(*stopped, "ERROR", Outcome::Failure));
        pParam->Close();
    }
    return result;
}

std::uint32_t CAfsArchive::RunExtractJob(IExtractProgress& progress) {
    m_nJobWritten = 0;
    if (!OpenImage(OpenMode::ReadOnly)) {
        // Without this the progress window would wait for a close that never
        // comes and the main window would stay hidden.
        progress.Close();
        return 0;
    }
    // Looked at once for the whole job: the image's length and identity, and
    // each output folder.
    const std::uint64_t archiveBytes = ArchiveBytesInImage();
    ExtractTargets targets(ImageFile());
    progress.SetRange(0, static_cast<int>(m_nEntryCount));
    bool cancelled = false;
    std::uint32_t failures = 0;
    std::string firstFailure;
    for (std::uint32_t i = 0; i < m_nEntryCount; ++i) {
        if (progress.IsCancelled()) {
            cancelled = true;
            break;
        }
        const std::string name = ToUpperAscii(GetEntryName(i));
        if (!IsEntrySelected(name, m_nFilterMode)) continue;
        progress.SetPos(static_cast<int>(i));
        progress.SetText(name);
        if (ExtractInto(targets, archiveBytes, m_strOutputDir, i) == 0) {
            if (failures++ == 0) firstFailure = GetEntryName(i);
        } else {
            ++m_nJobWritten;
        }
    }
    CloseImage();

    Messages().Show(SystemNotice(cancelled ? "Extract aborted!" : "Extract complete!", "",
                                 cancelled ? Outcome::Failure : Outcome::Success, Icon::Information));
    if (failures > 0) {
        Messages().Show(SystemNotice(std::to_string(failures) +
                                         (failures == 1 ? " entry could not be written:\n" : " entries could not be written. The first:\n") +
                                         firstFailure,
                                     "", Outcome::Failure));
    }
    progress.Close();
    return cancelled ? 1 : 2;
}

} // namespace qorlu
