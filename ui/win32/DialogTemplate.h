#pragma once
// A dialog table as the template the Win32 dialog calls take.

#include "resources/DialogTable.h"
#include <windows.h>

#include <cstdint>
#include <vector>

namespace qorlu::win32 {

// The in-memory template of a dialog table, ready for the *Indirect* calls.
class CDialogBytes {
public:
    explicit CDialogBytes(const gui::DialogTemplate& tmpl);
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    std::vector<std::uint16_t> m_words;
};

} // namespace qorlu::win32
