#pragma once
// Private messages between the windows of one program, in the Qt and the
// Win32 windows alike. A message is a bare number with both parameters 0:
// the receiver fetches what it needs (the dropped path, the check boxes)
// itself. Messages are always posted, never sent, so the receiver handles
// them after the sender's handler has returned.
//
//   number  program                    meaning
//   2024    bitmapper, packer          export the file dropped on the export zone
//   2025    bitmapper, packer          import the file dropped on the import zone
//   2024    unpacker                   progress window painted: start the job
//   3024    unpacker                   files dropped on the main window: import them
//
// 2024 means different things in the unpacker and in the other two programs.

namespace qorlu {

inline constexpr int kWmDropExport = 2024;
inline constexpr int kWmDropImport = 2025;
inline constexpr int kWmBeginExtract = 2024;
inline constexpr int kWmImportDropped = 3024;

// Command identifiers shared with the dialog templates.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdmAboutBox = 16;

} // namespace qorlu
