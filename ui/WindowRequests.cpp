#include "ui/WindowRequests.h"

namespace qorlu {

void CWindowRequests::Send(std::function<void()> request, const std::function<void()>& wake) {
    std::unique_lock lock(m_mutex);
    m_queue.push_back(std::move(request));
    const std::uint64_t ticket = m_nSent++;
    lock.unlock();
    if (wake) wake();
    lock.lock();
    m_served.wait(lock, [&] { return m_nDone > ticket; });
}

void CWindowRequests::Serve() {
    std::unique_lock lock(m_mutex);
    while (!m_queue.empty()) {
        std::function<void()> request = std::move(m_queue.front());
        m_queue.pop_front();
        // Run without the lock: a request may take its time (a repaint).
        lock.unlock();
        request();
        lock.lock();
        ++m_nDone;
        m_served.notify_all();
    }
}

} // namespace qorlu
