// Stopping an extraction job while its window is closing: the worker's
// requests wait for the window thread, as sent messages do, and the window
// thread waits for the worker.

#include "archive/AfsArchive.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "archive/ExtractJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A progress window on "the window thread" (the test's): every request of
// the worker waits until Serve has run it.
class SentProgress final : public IExtractProgress {
public:
    bool IsCancelled() override { return false; }
    void SetRange(int, int) override {
        Send([] {});
    }
    void SetPos(int) override {
        Send([] {});
    }
    void SetText(std::string text) override {
        Send([this, text] { texts.push_back(text); });
    }
    void Close() override {
        const std::lock_guard lock(m_mutex);
        ++closes;
    }

    // Runs the requests that are waiting; the window thread only.
    void Serve() {
        std::unique_lock lock(m_mutex);
        while (!m_queue.empty()) {
            auto request = std::move(m_queue.front());
            m_queue.pop_front();
            request();
            ++m_served;
        }
        m_changed.notify_all();
    }
    // Serves until `done` holds (true); false only when a minute passed, the
    // guard against a test that never ends.
    bool ServeUntil(const std::function<bool()>& done) {
        const auto end = Clock::now() + std::chrono::minutes(1);
        while (Clock::now() < end) {
            Serve();
            {
                std::unique_lock lock(m_mutex);
                if (done()) return true;
                m_changed.wait_for(lock, std::chrono::milliseconds(2));
            }
        }
        return false;
    }

    std::vector<std::string> texts; // window thread only
    int closes = 0;

private:
    void Send(std::function<void()> request) {
        std::unique_lock lock(m_mutex);
        m_queue.push_back(std::move(request));
        const long ticket = m_sent++;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_served > ticket; });
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    long m_sent = 0;
    long m_served = 0;
};

struct Archive {
    test::TempDir dir;
    test::MessageRecorder messages;
    CAfsArchive archive{messages};
    std::vector<tools::AfsBuildEntry> entries;
    std::string out = dir / "out";

    explicit Archive(int count) {
        for (int i = 0; i < count; ++i)
            entries.push_back({"DATA/FILE" + std::to_string(i) + ".BIN", tools::PatternBytes(70000, i), 0});
        test::WriteImageWithArchive(dir / "disc.bin", tools::BuildAfs(entries).bytes);
        fs::create_directory(out);
        EXPECT_TRUE(archive.LocateArchive(dir / "disc.bin", "filedata.afs"));
        EXPECT_TRUE(archive.LoadIndex());
        messages.Clear();
    }
    // Files written, each checked to hold its whole entry.
    int CompleteFilesOut() const {
        int complete = 0;
        for (const auto& f : fs::recursive_directory_iterator(out)) {
            if (!f.is_regular_file()) continue;
            EXPECT_EQ(f.file_size(), 70000u) << f.path() << " is a partial file";
            ++complete;
        }
        return complete;
    }
};

TEST(ExtractJobStop, WaitsForAWorkerThatWaitsForTheWindowWithoutEitherBlocking) {
    struct Case {
        const char* name;
        int stopAfterTexts; // texts the window has shown when it closes; -1: after the job's end
    };
    const Case cases[] = {{"at the first entry", 1}, {"in the middle", 20}, {"after the end", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Archive a(40);
        SentProgress window;
        CExtractJob job(a.archive);
        ASSERT_EQ(job.StartExtract(a.out, kFilterAll, &window), 1);
        if (c.stopAfterTexts < 0) {
            ASSERT_TRUE(window.ServeUntil([&] { return window.closes == 1; }));
        } else {
            ASSERT_TRUE(window.ServeUntil([&] { return static_cast<int>(window.texts.size()) >= c.stopAfterTexts; }));
        }
        // Stop returns once the job has ended (a deadlock would keep it, and
        // the test, from ending); the counts below tell that it ended early.
        job.Stop([&] { window.Serve(); });
        EXPECT_FALSE(job.IsRunning());
        const int written = a.CompleteFilesOut();
        EXPECT_EQ(static_cast<std::uint32_t>(written), job.WrittenByLastJob());
        if (c.stopAfterTexts < 0) {
            EXPECT_EQ(written, 40);
            EXPECT_EQ(a.messages.Texts(), std::vector<std::string>{"Extract complete!"});
            EXPECT_EQ(window.closes, 1);
            EXPECT_EQ(job.LastResult(), 2u);
        } else {
            // The entry on its way is finished, nothing after the next poll.
            EXPECT_GE(written, c.stopAfterTexts - 1);
            EXPECT_LE(written, c.stopAfterTexts + 1);
            // Nobody is left to read the end box or to be closed.
            EXPECT_TRUE(a.messages.Texts().empty());
            EXPECT_EQ(window.closes, 0);
            EXPECT_EQ(job.LastResult(), 1u);
        }
    }
}

TEST(ExtractJobStop, WithoutAJobReturnsAtOnceAndANewJobStartsAfterAStop) {
    Archive a(3);
    SentProgress window;
    CExtractJob job(a.archive);
    job.Stop({}); // nothing runs
    ASSERT_EQ(job.StartExtract(a.out, kFilterAll, &window), 1);
    EXPECT_EQ(job.StartExtract(a.out, kFilterAll, &window), 0) << "a second job while one runs";
    ASSERT_TRUE(window.ServeUntil([&] { return !window.texts.empty(); }));
    job.Stop([&] { window.Serve(); });
    fs::remove_all(a.out);
    fs::create_directory(a.out);

    window.texts.clear();
    ASSERT_EQ(job.StartExtract(a.out, kFilterAll, &window), 1) << "the stop carried over into the next job";
    ASSERT_TRUE(window.ServeUntil([&] { return window.closes == 1; }));
    job.Wait();
    EXPECT_EQ(a.CompleteFilesOut(), 3);
    EXPECT_EQ(window.texts.size(), 3u);
}

} // namespace
} // namespace qorlu
