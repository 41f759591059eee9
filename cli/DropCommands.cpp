// The drop zones of qorlu_bitmapper and qorlu_packer from the command line:
//   qorlu texture-export FILE, qorlu texture-import BMP,
//   qorlu block-export FILE, qorlu block-import FILE.
// Each runs the operation that a drop on the zone runs, with the same
// messages; ".FLG" paths go to the flag-sheet functions inside the texture
// operations, as in the window.

#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "packer/BlockExport.h"
#include "packer/BlockImport.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

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

int RunTextureExport(const Args& args) { return RunOnFile(args, "texture-export FILE", ExportTextures); }

int RunTextureImport(const Args& args) { return RunOnFile(args, "texture-import BMP", ImportTexture); }

int RunBlockExport(const Args& args) { return RunOnFile(args, "block-export FILE", ExportBlocks); }

int RunBlockImport(const Args& args) { return RunOnFile(args, "block-import FILE", ImportBlock); }

} // namespace qorlu::cli
