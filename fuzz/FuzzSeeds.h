#pragma once
// Small valid inputs for every target, built from the fixtures' builders:
// the starting corpus of the fuzzers and inputs the regression tests run.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qorlu::fuzz {

struct Seed {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

std::vector<Seed> SeedsFor(std::string_view target);

} // namespace qorlu::fuzz
