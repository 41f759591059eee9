// texture-export FILE and texture-import BMP: the converter window's two
// drop zones. ".FLG" paths go to the flag sheet functions inside
// ExportTextures and ImportTexture, as they do in the window.

#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

#include <cstdio>

namespace qorlu::cli {

namespace {

// Prints through the console and remembers whether the operation ended in
// its one success message.
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

int Run(const Args& args, const char* usage, void (*operation)(IMessageSink&, const std::string&)) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: qorlu %s\n", usage);
        return 2;
    }
    OutcomeSink sink;
    operation(sink, args[0]);
    return sink.ExitStatus();
}

} // namespace

int RunTextureExport(const Args& args) {
    return Run(args, "texture-export FILE", ExportTextures);
}

int RunTextureImport(const Args& args) {
    return Run(args, "texture-import BMP", ImportTexture);
}

} // namespace qorlu::cli
