#pragma once
// Resources of qorlu_packer: the main window with its two drop zones
// (template 102), the About box (template 100), string 101 and icon 128.
// Positions and sizes in dialog units.

#include "resources/DialogTable.h"

namespace qorlu::resources::packer {

using gui::ControlKind;
using gui::ControlTemplate;
using gui::DialogTemplate;

inline constexpr const char* kProgramName = "qorlu_packer";
inline constexpr const char* kString101 = "&About qorlu_packer...";

inline constexpr int kIdcExportZone = 1002;
inline constexpr int kIdcImportZone = 1003;

inline constexpr unsigned kZone = gui::kStyleGroup | gui::kStyleSunkenEdge | gui::kStyleAcceptFiles;

inline constexpr ControlTemplate kMainControls[] = {
    {1002, ControlKind::DropZone, "Export\n\ndrag and drop compressed file here", kZone, 7, 7, 93, 37},
    {1003, ControlKind::DropZone, "Import\n\ndrag and drop exported file here", kZone, 7, 56, 93, 37},
};

// Template 102: the main window.
inline constexpr DialogTemplate kMainTemplate{102,
                                              "qorlu_packer",
                                              110,
                                              100,
                                              "MS Sans Serif",
                                              8,
                                              kMainControls,
                                              gui::kDialogSystemModal | gui::kDialogVisible | gui::kDialogTaskBar};

inline constexpr ControlTemplate kAboutControls[] = {
    {-1, ControlKind::IconImage, "", gui::kStyleNone, 11, 17, 20, 20},
    {-1, ControlKind::StaticText, "qorlu_packer Version 0.2", gui::kStyleLeftAlign, 40, 10, 119, 8},
    {-1, ControlKind::StaticText, "Written by the qorlu team", gui::kStyleLeftAlign, 40, 25, 119, 8},
    {1, ControlKind::PushButton, "OK", gui::kStyleDefaultButton | gui::kStyleTabStop | gui::kStyleGroup, 178, 7, 50,
     14},
};

// Template 100: the About box.
inline constexpr DialogTemplate kAboutTemplate{100, "About qorlu_packer", 235, 55, "MS Sans Serif", 8, kAboutControls};

// Icon 128.
inline const char* const* IconXpm() {
#include "resources/packer_icon.xpm"
    return packer_icon_xpm;
}

inline const gui::ProgramResources& Program() {
    static const gui::ProgramResources res{kProgramName, kString101, &kAboutTemplate, IconXpm(), kVersion};
    return res;
}

} // namespace qorlu::resources::packer
