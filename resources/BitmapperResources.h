#pragma once
// Resources of qorlu_bitmapper: the main window with its two drop zones
// (template 102), the About box (template 100), string 101 and icon 128.
// Positions and sizes in dialog units.

#include "resources/DialogTable.h"

namespace qorlu::resources::bitmapper {

using gui::ControlKind;
using gui::ControlTemplate;
using gui::DialogTemplate;

inline constexpr const char* kProgramName = "qorlu_bitmapper";
inline constexpr const char* kString101 = "&About qorlu_bitmapper...";

inline constexpr int kIdcExportZone = 1000; // texture to bitmap
inline constexpr int kIdcImportZone = 1001; // bitmap to texture

inline constexpr unsigned kZone = gui::kStyleLeftAlign | gui::kStyleSunkenEdge | gui::kStyleAcceptFiles;

inline constexpr ControlTemplate kMainControls[] = {
    {1000, ControlKind::DropZone, "Texture ==> Bitmap\n\ndrag and drop texture file here", kZone, 7, 7, 101, 41},
    {1001, ControlKind::DropZone, "Bitmap==>Texture\n\ndrag and drop bitmap file here", kZone, 7, 65, 101, 41},
};

// Template 102: the main window.
inline constexpr DialogTemplate kMainTemplate{102,
                                              "qorlu_bitmapper",
                                              115,
                                              113,
                                              "MS Sans Serif",
                                              8,
                                              kMainControls,
                                              gui::kDialogSystemModal | gui::kDialogVisible | gui::kDialogTaskBar};

inline constexpr ControlTemplate kAboutControls[] = {
    {-1, ControlKind::IconImage, "", gui::kStyleNone, 11, 17, 20, 20},
    {-1, ControlKind::StaticText, "qorlu_bitmapper Version 0.2", gui::kStyleLeftAlign, 40, 10, 133, 8},
    {-1, ControlKind::StaticText, "Written by the qorlu team", gui::kStyleLeftAlign, 40, 25, 119, 8},
    {1, ControlKind::PushButton, "OK", gui::kStyleDefaultButton | gui::kStyleTabStop | gui::kStyleGroup, 178, 7, 50,
     14},
};

// Template 100: the About box.
inline constexpr DialogTemplate kAboutTemplate{100, "About qorlu_bitmapper", 235, 55, "MS Sans Serif",
                                               8,   kAboutControls};

// Icon 128.
inline const char* const* IconXpm() {
#include "resources/bitmapper_icon.xpm"
    return bitmapper_icon_xpm;
}

inline const gui::ProgramResources& Program() {
    static const gui::ProgramResources res{kProgramName, kString101, &kAboutTemplate, IconXpm(), kVersion};
    return res;
}

} // namespace qorlu::resources::bitmapper
