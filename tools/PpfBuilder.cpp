#include "tools/PpfBuilder.h"

#include <stdexcept>

namespace qorlu::tools {

namespace {

void Put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Put(std::vector<std::uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

} // namespace

std::vector<std::uint8_t> EncodePpf(const PpfBuild& p) {
    std::vector<std::uint8_t> out;
    std::string magic = "PPF";
    magic += std::to_string(p.version);
    magic += "0";
    Put(out, magic);
    out.push_back(static_cast<std::uint8_t>(p.version - 1)); // method
    std::string description = p.description;
    description.resize(50, ' ');
    Put(out, description);
    const bool block = p.version == 2 || (p.version == 3 && p.validation);
    if (block && p.block.size() != 1024) throw std::invalid_argument("a validation block has 1024 bytes");
    if (p.version == 2) Put(out, p.originalSize, 4);
    if (p.version == 3) {
        out.push_back(p.imageType);
        out.push_back(p.validation ? 1 : 0);
        out.push_back(p.undo ? 1 : 0);
        out.push_back(0);
    }
    if (block) out.insert(out.end(), p.block.begin(), p.block.end());
    for (const PpfBuildRecord& r : p.records) {
        if (r.newBytes.size() > 255) throw std::invalid_argument("a record holds at most 255 bytes");
        Put(out, r.offset, p.version == 3 ? 8 : 4);
        out.push_back(static_cast<std::uint8_t>(r.newBytes.size()));
        out.insert(out.end(), r.newBytes.begin(), r.newBytes.end());
        if (p.version == 3 && p.undo) out.insert(out.end(), r.oldBytes.begin(), r.oldBytes.end());
    }
    if (p.fileIdDiz) {
        Put(out, "@BEGIN_FILE_ID.DIZ");
        Put(out, *p.fileIdDiz);
        Put(out, "@END_FILE_ID.DIZ");
        Put(out, p.fileIdDiz->size(), p.version == 2 ? 4 : 2);
        if (p.version == 3 && p.dizLengthPadded) Put(out, 0, 2);
    }
    return out;
}

std::vector<std::uint8_t> ValidationBlockOf(const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> block(1024, 0);
    for (std::size_t i = 0; i < block.size() && 0x9320 + i < image.size(); ++i) block[i] = image[0x9320 + i];
    return block;
}

} // namespace qorlu::tools
