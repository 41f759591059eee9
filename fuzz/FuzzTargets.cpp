#include "fuzz/FuzzChecks.h"

#include <array>

namespace qorlu::fuzz {

namespace {

constexpr std::array kTargets = {
    FuzzTarget{"locate", CheckLocate},   FuzzTarget{"extract", CheckExtract},     FuzzTarget{"import", CheckImport},
    FuzzTarget{"texture", CheckTexture}, FuzzTarget{"flagsheet", CheckFlagSheet}, FuzzTarget{"blocks", CheckBlocks},
    FuzzTarget{"patch", CheckPatch},
};

} // namespace

std::span<const FuzzTarget> FuzzTargets() { return kTargets; }

const FuzzTarget* FindFuzzTarget(std::string_view name) {
    for (const FuzzTarget& t : kTargets)
        if (t.name == name) return &t;
    return nullptr;
}

} // namespace qorlu::fuzz
