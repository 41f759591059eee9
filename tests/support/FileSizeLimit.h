#pragma once
// While it lives, writes at or beyond `limit` bytes into any file of this
// process fail (EFBIG) instead of raising SIGXFSZ: a full disk in a test.

#include <csignal>
#include <sys/resource.h>

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
