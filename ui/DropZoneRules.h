#pragma once
// The rules that qorlu_bitmapper's and qorlu_packer's windows share, in the
// Qt and in the Win32 window alike: two drop zones, each keeping the path of
// the first file dropped on it and posting its private message to the
// window; the window runs the zone's operation on that path, message box
// included, in the handler of the message. The zone, not the file, decides
// which operation runs.
//
//   WM_DROP_EXPORT (2024)  posted by the upper (export) zone
//   WM_DROP_IMPORT (2025)  posted by the lower (import) zone

#include "resources/DialogTable.h"
#include "base/Message.h"
#include "ui/PrivateMessages.h"

#include <string>
#include <vector>

namespace qorlu {

// One drop-zone program: its resources, its zones and what they do.
struct DropZoneProgram {
    const gui::ProgramResources& resources;
    const gui::DialogTemplate& mainTemplate; // template 102
    int exportZoneId;                        // the upper zone
    int importZoneId;                        // the lower zone
    void (*exportFile)(IMessageSink& owner, const std::string& path);
    void (*importFile)(IMessageSink& owner, const std::string& path);

    // Runs the operation of private message `number` with the path kept by
    // the zone that posts it. False for any other message.
    bool OnPrivateMessage(int number, IMessageSink& owner, const std::string& exportZonePath,
                          const std::string& importZonePath) const;
};

// The path a zone keeps from one drop: the first file's; empty (and nothing
// posted) when the drop carries no file.
inline std::string FirstDroppedPath(const std::vector<std::string>& paths) {
    return paths.empty() ? std::string() : paths.front();
}

} // namespace qorlu
