#include "archive/ExtractTargets.h"

#include "shell/Text.h"

#include <filesystem>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace qorlu {

ExtractTargets::ExtractTargets(std::string imageFile) : m_imageFile(std::move(imageFile)) {
#ifndef _WIN32
    struct stat st {};
    ++m_lookUps;
    if (::stat(m_imageFile.c_str(), &st) == 0) {
        m_identityKnown = true;
        m_device = static_cast<std::uint64_t>(st.st_dev);
        m_fileNumber = static_cast<std::uint64_t>(st.st_ino);
    }
#endif
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
        std::error_code ec;
        fresh = std::filesystem::create_directory(path, ec) && !ec;
        m_folders.emplace(path, fresh);
    }
    return fresh;
}

bool ExtractTargets::IsTheImage(const std::string& target) const {
    ++m_lookUps;
#ifndef _WIN32
    if (m_identityKnown) {
        struct stat st {};
        if (::stat(target.c_str(), &st) != 0) return false; // nothing there (or nothing that can be looked at)
        return static_cast<std::uint64_t>(st.st_dev) == m_device &&
               static_cast<std::uint64_t>(st.st_ino) == m_fileNumber;
    }
#endif
    std::error_code ec;
    return std::filesystem::equivalent(target, m_imageFile, ec) && !ec;
}

} // namespace qorlu
