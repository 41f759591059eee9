#pragma once
// While it lives, writes at or beyond `limit` bytes into any file of this
// process fail (EFBIG) instead of raising SIGXFSZ: a full disk in a test.

#ifdef _WIN32

namespace qorlu::test {

// Windows has no per-process file-size limit: the limit is never in force
// (Ok() is false), and tests that need it are skipped there.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long) {}
    ~FileSizeLimit() {} // held for its scope, like the POSIX one
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Ok() const { return false; }
};

} // namespace qorlu::test

// In a test: the limit must be in force; skipped where the platform has none.
#define QORLU_ASSERT_FILE_SIZE_LIMIT(limit) GTEST_SKIP() << "Windows has no file-size limit to make a write fail"

#else

#include <csignal>
#include <sys/resource.h>

// In a test: the limit must be in force; skipped where the platform has none.
#define QORLU_ASSERT_FILE_SIZE_LIMIT(limit) ASSERT_TRUE((limit).Ok())

namespace qorlu::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit l = m_old;
        l.rlim_cur = limit;
        m_ok = setrlimit(RLIMIT_FSIZE, &l) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace qorlu::test

#endif
