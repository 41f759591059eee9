// qorlu_packer's drop zones: a compressed file dropped on the upper zone
// (1002, "Export") is exported, an exported block dropped on the lower zone
// (1003, "Import") is put back.

#include "packer/BlockExport.h"
#include "packer/BlockImport.h"
#include "resources/PackerResources.h"
#include "packer/window/PackerProgram.h"

namespace qorlu {

const DropZoneProgram& PackerProgram() {
    namespace res = resources::packer;
    static const DropZoneProgram program{res::Program(),      res::kMainTemplate, res::kIdcExportZone,
                                         res::kIdcImportZone, &ExportBlocks,      &ImportBlock};
    return program;
}

} // namespace qorlu
