#pragma once
// The command line's way of showing a message: the exact text of the box,
// successes on stdout, everything else on stderr. Yes/No questions are
// printed on stdout and answered by a line on stdin ("y" or "n"), or
// answered Yes at once when the user passed --yes.

#include "base/Message.h"

#include <cstdio>
#include <istream>

namespace qorlu::cli {

class ConsoleSink final : public IMessageSink {
public:
    explicit ConsoleSink(bool answerYes = false, std::istream* answers = nullptr);
    Answer Show(const Notice& notice) override;

    // How many boxes reported a failure: the exit status follows from it.
    int FailureCount() const { return m_failures; }

private:
    bool m_answerYes;
    std::istream* m_answers;
    int m_failures = 0;
};

} // namespace qorlu::cli
