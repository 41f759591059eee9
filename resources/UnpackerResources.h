#pragma once
// Resources of qorlu_unpacker: the main window (template 102), the progress
// window (template 103), the About box (template 100), string 101 and icon 128.
// Positions and sizes in dialog units.

#include "resources/DialogTable.h"

namespace qorlu::resources::unpacker {

using gui::ControlKind;
using gui::ControlTemplate;
using gui::DialogTemplate;

inline constexpr const char* kProgramName = "qorlu_unpacker";
inline constexpr const char* kString101 = "&About qorlu_unpacker...";

// Control IDs of template 102.
inline constexpr int kIdcSelectImage = 1000;
inline constexpr int kIdcSelectOutput = 1001;
inline constexpr int kIdcImagePath = 1002;
inline constexpr int kIdcOutputDir = 1003;
inline constexpr int kIdcExtractAdx = 1005;
inline constexpr int kIdcStartExtract = 1006;
inline constexpr int kIdcExtractOther = 1008;

// Control IDs of template 103.
inline constexpr int kIdcCancel = 2;
inline constexpr int kIdcProgressText = 1007;
inline constexpr int kIdcProgressBar = 1008;

inline constexpr unsigned kPathEdit =
    gui::kStyleReadOnly | gui::kStyleMultiLine | gui::kStyleAutoVScroll | gui::kStyleBorder | gui::kStyleTabStop;

inline constexpr ControlTemplate kMainControls[] = {
    {1000, ControlKind::PushButton, "Select CD Image", gui::kStyleTabStop, 9, 9, 106, 14},
    {1002, ControlKind::Edit, "", kPathEdit, 9, 25, 207, 27},
    {1001, ControlKind::PushButton, "Select Output Directory", gui::kStyleTabStop, 9, 59, 106, 14},
    {1003, ControlKind::Edit, "", kPathEdit, 9, 75, 207, 27},
    {1005, ControlKind::CheckBox, "extract *.adx files", gui::kStyleTabStop, 9, 111, 92, 10},
    {1006, ControlKind::PushButton, "Start Extract", gui::kStyleTabStop | gui::kStyleDisabled, 9, 147, 106, 14},
    {-1, ControlKind::StaticText, "Drag and drop the modified file here", gui::kStyleLeftAlign | gui::kStyleGroup, 137,
     145, 77, 27},
    {1008, ControlKind::CheckBox, "extract other files", gui::kStyleTabStop, 9, 130, 92, 10},
};

// Template 102: the main window.
inline constexpr DialogTemplate kMainTemplate{
    102, "qorlu_unpacker", 228, 180, "MS Sans Serif", 8, kMainControls, gui::kDialogSystemModal | gui::kDialogTaskBar};

inline constexpr ControlTemplate kProgressControls[] = {
    {2, ControlKind::PushButton, "Cancel", gui::kStyleDefaultButton | gui::kStyleTabStop | gui::kStyleGroup, 91, 66, 50,
     14},
    {1007, ControlKind::Edit, "",
     gui::kStyleReadOnly | gui::kStyleMultiLine | gui::kStyleAutoHScroll | gui::kStyleBorder | gui::kStyleTabStop, 19,
     11, 209, 24},
    {1008, ControlKind::ProgressBar, "", gui::kStyleSmooth | gui::kStyleBorder, 39, 43, 170, 13},
};

// Template 103: the progress window.
inline constexpr DialogTemplate kProgressTemplate{103,
                                                  "Progress Info",
                                                  248,
                                                  95,
                                                  "MS Sans Serif",
                                                  8,
                                                  kProgressControls,
                                                  gui::kDialogSystemModal | gui::kDialogVisible};

inline constexpr ControlTemplate kAboutControls[] = {
    // No icon picture here, so the text starts at the left margin where the
    // other programs' About boxes show their icon; the right ends stay.
    {-1, ControlKind::StaticText, "qorlu_unpacker Version 0.2", gui::kStyleLeftAlign, 11, 10, 158, 8},
    {-1, ControlKind::StaticText, "Written by the qorlu team", gui::kStyleLeftAlign, 11, 25, 135, 8},
    {1, ControlKind::PushButton, "OK", gui::kStyleDefaultButton | gui::kStyleTabStop | gui::kStyleGroup, 178, 7, 50,
     14},
};

// Template 100: the About box, without an icon picture in this program.
inline constexpr DialogTemplate kAboutTemplate{100, "About qorlu_unpacker", 235, 55, "MS Sans Serif",
                                               8,   kAboutControls};

// Icon 128.
inline const char* const* IconXpm() {
#include "resources/unpacker_icon.xpm"
    return unpacker_icon_xpm;
}

inline const gui::ProgramResources& Program() {
    static const gui::ProgramResources res{kProgramName, kString101, &kAboutTemplate, IconXpm(), kVersion};
    return res;
}

} // namespace qorlu::resources::unpacker
