#pragma once
// The shell every Win32 main window shares, one header per piece: dialogs
// made from the dialog tables, the message boxes, the About entry and box
// with the icons, drop zones on static controls, and the drop-zone
// programs' main window.

#include "ui/win32/DialogTemplate.h"
#include "ui/win32/DropStatic.h"
#include "ui/win32/DropZoneDialog.h"
#include "ui/win32/MessageBoxSink.h"
#include "ui/win32/ShellDialog.h"
#include "ui/win32/WideText.h"
