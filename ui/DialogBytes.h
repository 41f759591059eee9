#pragma once
// A dialog table (resources/DialogTable.h) as the in-memory dialog template
// that Win32 builds a dialog from (DialogBoxIndirectParamW,
// CreateDialogIndirectParamW): a DLGTEMPLATE with the DS_SETFONT font, then
// one DLGITEMTEMPLATE per control, in table (tab) order, each on a 4-byte
// boundary. Positions stay in dialog units; texts become UTF-16, "\n" a
// line break the controls show as one.
//
// Plain bytes, built the same on every system, so the tests read them back
// on Linux too. The words are in the machine's order (little-endian on
// every Windows machine).
//
//   kind          class                 styles
//   PushButton    BUTTON (0x0080)       BS_PUSHBUTTON, or BS_DEFPUSHBUTTON
//   CheckBox      BUTTON                BS_AUTOCHECKBOX
//   Edit          EDIT (0x0081)         ES_MULTILINE, ES_AUTOVSCROLL, ES_AUTOHSCROLL, ES_READONLY
//   StaticText    STATIC (0x0082)       SS_LEFT
//   DropZone      STATIC                SS_LEFT | SS_NOTIFY, WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES
//   ProgressBar   "msctls_progress32"   PBS_SMOOTH
//   IconImage     STATIC                SS_ICON, showing icon resource 128
// Every control is WS_CHILD | WS_VISIBLE, with WS_TABSTOP, WS_GROUP,
// WS_DISABLED and WS_BORDER from the table's bits. A control without an ID
// gets 0xFFFF (IDC_STATIC).

#include "resources/DialogTable.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu::gui {

// Window style values, as Win32 numbers them.
namespace win32_style {
inline constexpr std::uint32_t kPopup = 0x80000000, kChild = 0x40000000, kVisible = 0x10000000, kDisabled = 0x08000000,
                               kCaption = 0x00C00000, kBorder = 0x00800000, kSysMenu = 0x00080000, kGroup = 0x00020000,
                               kMinimizeBox = 0x00020000, kTabStop = 0x00010000;
inline constexpr std::uint32_t kDsSysModal = 0x02, kDsSetFont = 0x40, kDsModalFrame = 0x80;
inline constexpr std::uint32_t kExAcceptFiles = 0x10, kExClientEdge = 0x200, kExAppWindow = 0x40000;
inline constexpr std::uint32_t kBsPushButton = 0, kBsDefPushButton = 1, kBsAutoCheckBox = 3;
inline constexpr std::uint32_t kEsMultiLine = 0x4, kEsAutoVScroll = 0x40, kEsAutoHScroll = 0x80, kEsReadOnly = 0x800;
inline constexpr std::uint32_t kSsLeft = 0, kSsIcon = 3, kSsNotify = 0x100;
inline constexpr std::uint32_t kPbsSmooth = 1;
inline constexpr std::uint16_t kClassButton = 0x0080, kClassEdit = 0x0081, kClassStatic = 0x0082;
} // namespace win32_style

// The icon resource an IconImage control shows.
inline constexpr std::uint16_t kProgramIconId = 128;

// The template of `tmpl` as 16-bit words (the first word on a 4-byte boundary).
std::vector<std::uint16_t> DialogTemplateWords(const DialogTemplate& tmpl);

} // namespace qorlu::gui
