#pragma once
// A message sink for tests: keeps every notice shown and answers Yes/No
// questions from a script (No once the script is used up).

#include "base/Message.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace qorlu::test {

class MessageRecorder final : public IMessageSink {
public:
    Answer Show(const Notice& notice) override {
        std::lock_guard lock(m_mutex);
        m_notices.push_back(notice);
        if (notice.buttons != Buttons::YesNo) return Answer::Ok;
        if (m_answers.empty()) return Answer::No;
        const Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }

    void AnswerNext(Answer a) {
        std::lock_guard lock(m_mutex);
        m_answers.push_back(a);
    }

    std::vector<Notice> Notices() const {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }

    // The texts shown so far, in order.
    std::vector<std::string> Texts() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> texts;
        for (const auto& n : m_notices) texts.push_back(n.text);
        return texts;
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_notices.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Notice> m_notices;
    std::deque<Answer> m_answers;
};

} // namespace qorlu::test
