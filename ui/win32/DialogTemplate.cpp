#include "ui/win32/DialogTemplate.h"

#include "ui/DialogBytes.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

CDialogBytes::CDialogBytes(const gui::DialogTemplate& tmpl) : m_words(gui::DialogTemplateWords(tmpl)) {}

} // namespace qorlu::win32
