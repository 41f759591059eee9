#include "unpacker/ImportMatches.h"

#include "archive/ImportMatching.h"
#include "base/Text.h"

namespace qorlu {

bool IsPatchFile(const std::string& path) { return EndsWithUpper(path, ".PPF"); }

void CImportMatches::Arm(const AfsNameRecord* records, std::uint32_t count) {
    // A drop still waiting was matched against the index before this one:
    // its entry numbers mean nothing now, so it is let go.
    if (m_dropState == DropState::Waiting) m_dropState = DropState::LetGo;
    if (m_dropState == DropState::Deferred) m_dropState = DropState::None;
    m_bArmed = true;
    m_pNameRecords = records;
    m_nNameCount = count;
}

void CImportMatches::Disarm() {
    m_bArmed = false;
    m_pNameRecords = nullptr;
}

DropEffect CImportMatches::MatchDrag(const std::vector<std::string>* paths) {
    m_dropEffect = DropEffect::None;
    if (!m_bArmed || !m_pNameRecords || Held() || m_dropState != DropState::None || !paths || paths->empty())
        return m_dropEffect;
    m_pMatchIndex.clear();
    m_strMatchPaths.clear();
    m_strPatchPaths.clear();
    m_nMatchCount = 0;
    for (const std::string& path : *paths) {
        if (IsPatchFile(path)) {
            m_strPatchPaths.push_back(path);
            continue;
        }
        const auto index = MatchEntry(m_pNameRecords, m_nNameCount, path);
        if (!index) continue;
        m_pMatchIndex.push_back(static_cast<int>(*index));
        m_strMatchPaths.push_back(path);
        ++m_nMatchCount;
    }
    if (m_nMatchCount > 0 || !m_strPatchPaths.empty()) m_dropEffect = DropEffect::Link;
    return m_dropEffect;
}

bool CImportMatches::BeginDropHandling() {
    if (m_dropState == DropState::LetGo) {
        m_dropState = DropState::None;
        return false;
    }
    if (Held()) {
        m_dropState = DropState::Deferred;
        return false;
    }
    m_dropState = DropState::None;
    return true;
}

bool CImportMatches::EndHold() {
    if (m_nHolds > 0) --m_nHolds;
    if (Held() || m_dropState != DropState::Deferred) return false;
    m_dropState = DropState::Waiting;
    return true;
}

} // namespace qorlu
