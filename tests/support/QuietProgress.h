#pragma once
// A progress window for extraction jobs run without one: never cancelled,
// shows nothing, counts how often the job closed it.

#include "archive/ExtractProgress.h"

#include <atomic>
#include <string>

namespace qorlu::test {

class QuietProgress final : public IExtractProgress {
public:
    bool IsCancelled() override { return false; }
    void SetRange(int, int) override {}
    void SetPos(int) override {}
    void SetText(std::string) override {}
    void Close() override { closes.fetch_add(1); }
    std::atomic<int> closes{0};
};

} // namespace qorlu::test
