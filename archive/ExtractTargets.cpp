#include "archive/ExtractTargets.h"

#include "io/FileLayer.h"
#include "base/Text.h"

#include <utility>

namespace qorlu {

ExtractTargets::ExtractTargets(std::string imageFile) : m_imageFile(std::move(imageFile)) {
    ++m_lookUps;
    m_image = IdentityOf(m_imageFile);
}

std::optional<FileIdentity> ExtractTargets::LookUp(const std::string& target) const {
    ++m_lookUps;
    return IdentityOf(target);
}

bool ExtractTargets::MakeFolders(const std::string& folder, const std::string& name) {
    const std::size_t last = name.rfind(kPathSeparator);
    if (last == std::string::npos) return false; // the output folder itself was there before
    bool fresh = false;
    for (std::size_t p = name.find(kPathSeparator); p != std::string::npos; p = name.find(kPathSeparator, p + 1)) {
        const std::string path = folder + name.substr(0, p);
        const auto known = m_folders.find(path);
        if (known != m_folders.end()) {
            fresh = known->second;
            continue;
        }
        // A folder that exists already is fine; one that can not be made
        // lets the entry's file fail to open.
        fresh = MakeFolder(path) == FolderMade::Made;
        m_folders.emplace(path, fresh);
    }
    return fresh;
}

bool ExtractTargets::IsTheImage(const std::string& target) const {
    // Nothing there (or nothing that can be looked at) is not the image.
    const auto found = LookUp(target);
    return found && m_image && *found == *m_image;
}

ExtractTargets::Clash ExtractTargets::ClashAt(const std::string& target, bool freshFolder) const {
    if (freshFolder && m_writtenUpper.count(ToUpperAscii(target)) == 0) return Clash::None;
    const auto found = LookUp(target);
    if (!found) return Clash::None;
    if (m_image && *found == *m_image) return Clash::TheImage;
    const auto first = m_written.find({found->volume, found->file});
    return first == m_written.end() || first->second == target ? Clash::None : Clash::AnotherEntry;
}

void ExtractTargets::Remember(const std::string& target, const FileIdentity& written) {
    m_written[{written.volume, written.file}] = target;
    m_writtenUpper.insert(ToUpperAscii(target));
}

} // namespace qorlu
