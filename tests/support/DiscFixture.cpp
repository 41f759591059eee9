#include "tests/support/DiscFixture.h"

#include "format/ByteOrder.h"
#include "tools/RawSectorWriter.h"

#include <algorithm>
#include <stdexcept>

namespace qorlu::test {

namespace {
constexpr std::size_t kAreaStart = 22 * 2048;
}

void PlaceRecord(std::vector<std::uint8_t>& logical, const DirectoryRecordSpec& record) {
    // ISO 9660 directory record: 0 length, 2 extent (LE then BE), 10 data
    // length (LE then BE), 32 identifier length, 33 identifier.
    const auto name = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(kAreaStart) + record.areaOffset);
    if (name < 33 || name + record.identifier.size() > logical.size()) throw std::out_of_range("record");
    std::uint8_t* r = &logical[name - 33];
    if (name >= kAreaStart + 33) {
        r[0] = static_cast<std::uint8_t>(33 + record.identifier.size() + (record.identifier.size() % 2 == 0));
        WriteLE32(r + 2, record.extent);
        WriteLE32(r + 10, record.dataLength);
        r[32] = static_cast<std::uint8_t>(record.identifier.size());
    }
    // The big-endian copies end 24 and 16 bytes before the name; write them
    // even when the record starts before the area.
    for (int i = 0; i < 4; ++i) {
        logical[name - 24 - i] = static_cast<std::uint8_t>(record.extent >> (8 * i));
        logical[name - 16 - i] = static_cast<std::uint8_t>(record.dataLength >> (8 * i));
    }
    WriteLE32(&logical[name - 23], record.dataLength);
    std::copy(record.identifier.begin(), record.identifier.end(), logical.begin() + static_cast<std::ptrdiff_t>(name));
}

std::vector<std::uint8_t> LogicalImageWithRecord(std::size_t blocks, const DirectoryRecordSpec& record) {
    std::vector<std::uint8_t> logical(blocks * 2048, 0);
    PlaceRecord(logical, record);
    return logical;
}

void WriteImageWithArchive(const std::string& path, const std::vector<std::uint8_t>& archive, std::uint32_t startSector,
                           std::int64_t dataLength) {
    DirectoryRecordSpec record;
    record.extent = startSector;
    record.dataLength =
        dataLength < 0 ? static_cast<std::uint32_t>(archive.size()) : static_cast<std::uint32_t>(dataLength);
    const std::size_t blocks = startSector + (archive.size() + 2047) / 2048;
    auto logical = LogicalImageWithRecord(std::max<std::size_t>(blocks, 38), record);
    std::copy(archive.begin(), archive.end(), logical.begin() + std::ptrdiff_t{startSector} * 2048);
    if (!tools::WriteRawImage(path, logical)) throw std::runtime_error("cannot write " + path);
}

} // namespace qorlu::test
