#pragma once
// CWindowRequests: a worker's requests to a window, run on the window's
// thread while the worker waits, as a sent message makes its sender wait.
//
// The window thread runs them in Serve, which the window calls when woken
// (the wake function posts it an event), and which whoever waits for the
// worker on the window thread may call directly, at any depth of its event
// handling. Requests run in the order they were sent.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace qorlu {

class CWindowRequests {
public:
    // Worker: queues `request`, calls `wake`, and returns once the window
    // thread has run it.
    void Send(std::function<void()> request, const std::function<void()>& wake);
    // Window thread: runs every request waiting.
    void Serve();

private:
    std::mutex m_mutex;
    std::condition_variable m_served;
    std::deque<std::function<void()>> m_queue;
    std::uint64_t m_nSent = 0;
    std::uint64_t m_nDone = 0;
};

} // namespace qorlu
