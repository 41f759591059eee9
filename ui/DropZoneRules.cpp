#include "ui/DropZoneRules.h"

namespace qorlu {

bool DropZoneProgram::OnPrivateMessage(int number, IMessageSink& owner, const std::string& exportZonePath,
                                       const std::string& importZonePath) const {
    if (number == kWmDropExport) {
        exportFile(owner, exportZonePath);
        return true;
    }
    if (number == kWmDropImport) {
        importFile(owner, importZonePath);
        return true;
    }
    return false;
}

} // namespace qorlu
