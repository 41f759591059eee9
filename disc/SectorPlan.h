#pragma once
// The whole raw sectors that one change of an image touches, as they are
// before it and as it leaves them. A change is planned whole in memory
// first, so that every sector is written once, with its final contents:
// at any moment of the change each sector holds either its old or its new
// bytes, which is what the rollback journal relies on.

#include <cstdint>
#include <span>
#include <vector>

namespace qorlu {

struct SectorPlan {
    std::uint32_t rawSectorSize = 0;
    std::vector<std::uint64_t> sectors; // image sector numbers, ascending, each once
    std::vector<std::uint8_t> before;   // sectors.size() x rawSectorSize, zero past the image's end
    std::vector<std::uint8_t> after;    // the same sectors once the change is made
    std::uint64_t writeEnd = 0;         // the image position after the last byte the change writes

    std::span<const std::uint8_t> Before(std::size_t k) const {
        return std::span<const std::uint8_t>(before).subspan(k * rawSectorSize, rawSectorSize);
    }
    std::span<const std::uint8_t> After(std::size_t k) const {
        return std::span<const std::uint8_t>(after).subspan(k * rawSectorSize, rawSectorSize);
    }
};

} // namespace qorlu
