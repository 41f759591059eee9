// qorlu block-export FILE, qorlu block-import FILE: the packer window's two
// drop zones from the command line.

#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "packer/BlockExport.h"
#include "packer/BlockImport.h"

#include <cstdio>

namespace qorlu::cli {

namespace {

// Passes every box on to the console and notes whether the operation ended
// with its success box.
class OutcomeSink final : public IMessageSink {
public:
    Answer Show(const Notice& notice) override {
        if (notice.outcome == Outcome::Success) m_succeeded = true;
        return m_console.Show(notice);
    }
    int ExitStatus() const { return m_succeeded && m_console.FailureCount() == 0 ? 0 : 1; }

private:
    ConsoleSink m_console;
    bool m_succeeded = false;
};

int RunOnFile(const Args& args, const char* usage, void (*operation)(IMessageSink&, const std::string&)) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: qorlu %s\n", usage);
        return 2;
    }
    OutcomeSink sink;
    operation(sink, args[0]);
    return sink.ExitStatus();
}

} // namespace

int RunBlockExport(const Args& args) {
    return RunOnFile(args, "block-export FILE", ExportBlocks);
}

int RunBlockImport(const Args& args) {
    return RunOnFile(args, "block-import FILE", ImportBlock);
}

} // namespace qorlu::cli
