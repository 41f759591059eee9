#pragma once
// One function per subcommand of `qorlu`. Each takes the arguments after the
// subcommand's name and returns the process exit status: 0 only when the
// operation succeeded.

#include <string>
#include <vector>

namespace qorlu::cli {

using Args = std::vector<std::string>;

int RunList(const Args& args);
int RunExtract(const Args& args);
int RunImport(const Args& args);
int RunVerify(const Args& args);
int RunTextureExport(const Args& args);
int RunTextureImport(const Args& args);
int RunBlockExport(const Args& args);
int RunBlockImport(const Args& args);
int RunPatchMake(const Args& args);
int RunPatchApply(const Args& args);

} // namespace qorlu::cli
