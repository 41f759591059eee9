// A libFuzzer program for one target, chosen when it is built
// (QORLU_FUZZ_TARGET). A finding aborts, so that libFuzzer keeps the input.

#include "fuzz/FuzzChecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qorlu::fuzz::FuzzTarget* target = qorlu::fuzz::FindFuzzTarget(QORLU_FUZZ_TARGET);
    if (target == nullptr) std::abort();
    const qorlu::fuzz::Finding finding = target->check(std::span(data, size));
    if (!finding.empty()) {
        std::fprintf(stderr, "qorlu %s: %s\n", QORLU_FUZZ_TARGET, finding.c_str());
        std::abort();
    }
    return 0;
}
