#pragma once
// CExtractJob: the worker thread of one extraction at a time, owned by
// whoever starts it (the unpacker's main window, or `qorlu extract`).
//
// The job (CAfsArchive::RunExtractJob) runs on the worker and talks to the
// progress window through IExtractProgress; the window's requests wait for
// the window thread, as sent messages do. Stop() is for a window that is
// closing while a job runs: from then on the job sees a cancel, its later
// requests and its end message are dropped, and the window thread waits for
// the worker while still serving the requests already on their way, so that
// neither thread waits for the other. The entry being written is finished
// first, so no partial file is left.

#include "archive/AfsArchive.h"
#include "base/Message.h"
#include "archive/ExtractProgress.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qorlu {

class CExtractJob {
public:
    explicit CExtractJob(CAfsArchive& archive);
    // Stops a running job (without serving a window).
    ~CExtractJob();
    CExtractJob(const CExtractJob&) = delete;
    CExtractJob& operator=(const CExtractJob&) = delete;

    // Starts the job on a worker thread with pProgress as its window. 0, with
    // nothing started, when the index is empty or a job still runs.
    int StartExtract(const std::string& lpszFolder, std::int32_t nFilterMode, IExtractProgress* pProgress);
    // The worker's body: 0 when the image could not be opened, 1 when
    // cancelled (or stopped), 2 when complete.
    static std::uint32_t ExtractThreadProc(CExtractJob* pParam);

    // True from StartExtract until the worker has returned.
    bool IsRunning() const { return m_bRunning.load(); }
    // Waits for the worker; it ends by itself once the window's Close came.
    void Wait();
    // Asks the job to stop at its next entry and waits for it, calling
    // serveWindow over and over meanwhile (it lets the window thread answer
    // requests the worker sent before the stop). Returns at once when no job runs.
    void Stop(const std::function<void()>& serveWindow);

    // Entries the last job wrote whole; read it after Wait or Stop.
    std::uint32_t WrittenByLastJob() const { return m_archive.WrittenByLastJob(); }
    // The last job's exit code (see ExtractThreadProc).
    std::uint32_t LastResult() const { return m_nResult; }

private:
    // What the worker reaches of the window and of the boxes: the real ones
    // until Stop, nothing after it.
    class Gate final : public IExtractProgress, public IMessageSink {
    public:
        explicit Gate(CExtractJob& job) : m_job(job) {}
        bool IsCancelled() override;
        void SetRange(int lower, int upper) override;
        void SetPos(int position) override;
        void SetText(std::string text) override;
        void Close() override;
        Answer Show(const Notice& notice) override;

    private:
        bool Open() const { return !m_job.m_bStopping.load(); }
        CExtractJob& m_job;
    };

    CAfsArchive& m_archive;
    IExtractProgress* m_pProgress = nullptr;
    Gate m_gate{*this};
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bRunning{false};
    std::uint32_t m_nResult = 0;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::thread m_worker;
};

} // namespace qorlu
