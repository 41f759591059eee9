// The extraction job: every entry of the loaded archive, filtered by its
// name's ending, extracted on a worker thread that reports to a progress
// window, polls its cancel flag before each entry and ends with a message.

#include "archive/ExtractJob.h"

#include "archive/AfsArchive.h"
#include "archive/ExtractTargets.h"
#include "base/LastResort.h"
#include "base/Text.h"
#include "archive/ExtractProgress.h"

#include <chrono>

namespace qorlu {

bool IsEntrySelected(const std::string& name, std::int32_t mode) {
    const bool adx = EndsWithUpper(name, ".ADX");
    if (mode == kFilterAdxOnly) return adx;
    if (mode == kFilterOthers) return !adx;
    return true;
}

CExtractJob::CExtractJob(CAfsArchive& archive) : m_archive(archive) {}

CExtractJob::~CExtractJob() { Stop({}); }

int CExtractJob::StartExtract(const std::string& lpszFolder, std::int32_t nFilterMode, IExtractProgress* pProgress) {
    if (m_archive.m_nEntryCount == 0 || pProgress == nullptr || m_bRunning.load()) return 0;
    Wait();
    m_archive.m_nFilterMode = nFilterMode;
    m_archive.m_strOutputDir = lpszFolder;
    m_pProgress = pProgress;
    m_bStopping = false;
    m_bRunning = true;
    m_worker = std::thread([this] { ExtractThreadProc(this); });
    return 1;
}

std::uint32_t CExtractJob::ExtractThreadProc(CExtractJob* pParam) {
    CExtractJob& job = *pParam;
    // An exception leaving a thread would end the whole program: the job
    // stops with a message, and the progress window closes as after any job.
    std::uint32_t result = 0;
    const auto stopped = RunGuarded([&] { result = job.m_archive.RunExtractJob(job.m_gate, job.m_gate); });
    if (stopped) {
        job.m_archive.CloseImage();
        job.m_gate.Show(SystemNotice(*stopped, "ERROR", Outcome::Failure));
        job.m_gate.Close();
    }
    {
        const std::lock_guard lock(job.m_mutex);
        job.m_nResult = result;
        job.m_bRunning = false;
    }
    job.m_finished.notify_all();
    return result;
}

void CExtractJob::Wait() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id()) m_worker.join();
}

void CExtractJob::Stop(const std::function<void()>& serveWindow) {
    if (!m_worker.joinable() || m_worker.get_id() == std::this_thread::get_id()) return;
    m_bStopping = true;
    std::unique_lock lock(m_mutex);
    while (m_bRunning.load()) {
        lock.unlock();
        if (serveWindow) serveWindow();
        lock.lock();
        m_finished.wait_for(lock, std::chrono::milliseconds(5), [this] { return !m_bRunning.load(); });
    }
    lock.unlock();
    m_worker.join();
}

bool CExtractJob::Gate::IsCancelled() { return !Open() || m_job.m_pProgress->IsCancelled(); }

void CExtractJob::Gate::SetRange(int lower, int upper) {
    if (Open()) m_job.m_pProgress->SetRange(lower, upper);
}

void CExtractJob::Gate::SetPos(int position) {
    if (Open()) m_job.m_pProgress->SetPos(position);
}

void CExtractJob::Gate::SetText(std::string text) {
    if (Open()) m_job.m_pProgress->SetText(std::move(text));
}

void CExtractJob::Gate::Close() {
    if (Open()) m_job.m_pProgress->Close();
}

Answer CExtractJob::Gate::Show(const Notice& notice) {
    // Nobody is left to read a box once the window is closing.
    if (!Open()) return notice.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    return m_job.m_archive.Messages().Show(notice);
}

std::uint32_t CAfsArchive::RunExtractJob(IExtractProgress& progress, IMessageSink& messages) {
    m_nJobWritten = 0;
    m_jobFailures.clear();
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
    {
        // The selected entries, in the order they are written; the reader
        // thread reads them ahead while the files are written.
        std::vector<std::uint32_t> selected;
        std::vector<CReadAheadRing::Span> spans;
        for (std::uint32_t i = 0; i < m_nEntryCount; ++i) {
            if (!IsEntrySelected(GetEntryName(i), m_nFilterMode)) continue;
            selected.push_back(i);
            spans.push_back(ReadSpan(i, archiveBytes));
        }
        CReadAheadRing ring(std::move(spans), ImageReader());
        for (const std::uint32_t i : selected) {
            if (progress.IsCancelled()) {
                cancelled = true;
                break;
            }
            progress.SetPos(static_cast<int>(i));
            progress.SetText(ToUpperAscii(GetEntryName(i)));
            auto pieces = ring.NextEntry();
            if (ExtractInto(targets, archiveBytes, m_strOutputDir, i, pieces) == 0) {
                if (m_lastExtractFailure) m_jobFailures.push_back(*m_lastExtractFailure);
            } else {
                ++m_nJobWritten;
            }
        }
    } // the reader is stopped before the image is closed
    CloseImage();

    messages.Show(SystemNotice(cancelled ? "Extract aborted!" : "Extract complete!", "",
                               cancelled ? Outcome::Failure : Outcome::Success, Icon::Information));
    if (const auto failures = m_jobFailures.size(); failures > 0) {
        messages.Show(SystemNotice(
            std::to_string(failures) +
                (failures == 1 ? " entry could not be written:\n" : " entries could not be written. The first:\n") +
                m_jobFailures.front().name,
            "", Outcome::Failure));
    }
    progress.Close();
    return cancelled ? 1 : 2;
}

} // namespace qorlu
