// Writes the starting corpus of every fuzz target: make_seeds FOLDER puts
// FOLDER/<target>/<seed name> for each target.

#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/FuzzWorkspace.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    try {
        namespace fs = std::filesystem;
        for (const auto& target : qorlu::fuzz::FuzzTargets()) {
            const fs::path folder = fs::path(argv[1]) / std::string(target.name);
            fs::create_directories(folder);
            for (const auto& seed : qorlu::fuzz::SeedsFor(target.name))
                qorlu::fuzz::PutFile(folder / seed.name, seed.bytes);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
