// qorlu extract IMAGE OUTDIR [--adx | --others]: the unpacker's extraction
// job without a display. Progress goes to stderr when it is a terminal;
// Ctrl-C cancels between entries, like the progress window's Cancel.

#include "archive/ArchiveLoading.h"
#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "cli/Terminal.h"
#include "io/FileLayer.h"
#include "io/NativePath.h"
#include "archive/ExtractJob.h"
#include "archive/ExtractProgress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

namespace qorlu::cli {

namespace {

std::atomic<bool> g_interrupted{false};

// The progress line: entries done of the selected count, bytes, current name.
class ConsoleProgress final : public IExtractProgress {
public:
    ConsoleProgress(const CAfsArchive& archive, std::uint32_t selected, std::uint64_t bytes)
        : m_archive(archive), m_selected(selected), m_totalBytes(bytes), m_draw(StderrTakesProgress()) {}

    bool IsCancelled() override { return g_interrupted.load(); }
    void SetRange(int, int) override {}
    void SetPos(int position) override {
        ++m_started;
        const auto index = static_cast<std::uint32_t>(position);
        if (m_archive.EntryLiesWithin(index, m_archive.ArchiveBytesAtLoad())) m_bytes += m_archive.GetEntrySize(index);
    }
    void SetText(std::string text) override {
        // A few redraws a second are enough for the eye and cheap for the job.
        const auto now = std::chrono::steady_clock::now();
        if (!m_draw || (m_lineOpen && now - m_lastDraw < std::chrono::milliseconds(100) && m_started < m_selected))
            return;
        m_lastDraw = now;
        const int width = 30;
        const int filled = m_selected == 0 ? width : static_cast<int>(std::uint64_t{m_started} * width / m_selected);
        std::fprintf(stderr, "\r[%-*s] %u/%u entries, %llu/%llu bytes  %s\033[K", width,
                     std::string(static_cast<std::size_t>(filled), '#').c_str(), m_started, m_selected,
                     static_cast<unsigned long long>(m_bytes), static_cast<unsigned long long>(m_totalBytes),
                     text.c_str());
        m_lineOpen = true;
    }
    // Ends the progress line before the job's end message is printed.
    void EndLine() {
        if (m_lineOpen) std::fputs("\n", stderr);
        m_lineOpen = false;
    }
    void Close() override {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_done.notify_all();
    }
    void WaitUntilClosed() {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_closed; });
    }

private:
    const CAfsArchive& m_archive;
    const std::uint32_t m_selected;
    const std::uint64_t m_totalBytes;
    const bool m_draw;
    std::uint32_t m_started = 0;
    std::uint64_t m_bytes = 0;
    bool m_lineOpen = false;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_closed = false;
};

// The job's messages, after the progress line has been ended.
class JobSink final : public IMessageSink {
public:
    JobSink(ConsoleSink& sink, ConsoleProgress*& progress) : m_sink(sink), m_progress(progress) {}
    Answer Show(const Notice& notice) override {
        if (m_progress != nullptr) m_progress->EndLine();
        return m_sink.Show(notice);
    }

private:
    ConsoleSink& m_sink;
    ConsoleProgress*& m_progress;
};

} // namespace

int RunExtract(const Args& args) {
    std::int32_t mode = kFilterAll;
    std::vector<std::string> paths;
    for (const auto& a : args) {
        if (a == "--adx")
            mode = kFilterAdxOnly;
        else if (a == "--others")
            mode = kFilterOthers;
        else
            paths.push_back(a);
    }
    if (paths.size() != 2 ||
        std::count(args.begin(), args.end(), "--adx") + std::count(args.begin(), args.end(), "--others") > 1) {
        std::fputs("usage: qorlu extract IMAGE OUTDIR [--adx | --others]\n", stderr);
        return 2;
    }
    const std::string& image = paths[0];
    const std::string& outDir = paths[1];

    ConsoleSink console;
    ConsoleProgress* progressForSink = nullptr;
    JobSink sink(console, progressForSink);
    CAfsArchive archive(sink);
    if (!LocateAndLoadIndex(archive, image, sink)) {
        if (!archive.LastLoadProblem().empty()) std::fprintf(stderr, "%s\n", archive.LastLoadProblem().c_str());
        return 1;
    }

    std::uint32_t selected = 0;
    std::uint64_t bytes = 0;
    for (std::uint32_t i = 0; i < archive.m_nEntryCount; ++i) {
        if (!IsEntrySelected(archive.GetEntryName(i), mode)) continue;
        ++selected;
        // An entry that the image does not hold is not written and needs no room.
        if (archive.EntryLiesWithin(i, archive.ArchiveBytesAtLoad())) bytes += archive.GetEntrySize(i);
    }

    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path outPath = PathFromUtf8(outDir);
    if (!MakeFolders(outDir)) {
        std::fprintf(stderr, "can not create the output folder %s\n", outDir.c_str());
        return 1;
    }
    const auto available = AvailableBytesIn(outDir);
    if (!available || *available < bytes) {
        std::fprintf(stderr,
                     "Free space on disk not enough!\n%s has %llu bytes available, the selected entries need %llu\n",
                     outDir.c_str(), static_cast<unsigned long long>(available.value_or(0)),
                     static_cast<unsigned long long>(bytes));
        return 1;
    }

    ConsoleProgress progress(archive, selected, bytes);
    progressForSink = &progress;
    g_interrupted = false;
    {
        InterruptCatcher interrupts(g_interrupted);
        CExtractJob job(archive);
        job.StartExtract(outDir, mode, &progress);
        progress.WaitUntilClosed();
        job.Wait();
    }
    // Our own line after the job's end message: the count and the folder.
    const std::uint32_t written = archive.WrittenByLastJob();
    const fs::path where = fs::absolute(outPath, ec);
    std::printf("%u %s written into %s\n", written, written == 1 ? "entry" : "entries",
                ec ? outDir.c_str() : Utf8FromPath(where.lexically_normal()).c_str());
    std::fflush(stdout);
    // Then each entry that was not written, and why.
    for (const ExtractFailure& failure : archive.FailuresOfLastJob())
        std::fprintf(stderr, "not written: %s\n", DescribeExtractFailure(failure).c_str());
    return console.FailureCount() == 0 ? 0 : 1;
}

} // namespace qorlu::cli
