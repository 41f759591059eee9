// qorlu_bitmapper's drop zones: a texture container dropped on the upper
// zone (1000, "Texture ==> Bitmap") is exported, a bitmap dropped on the
// lower zone (1001, "Bitmap==>Texture") is imported.

#include "resources/BitmapperResources.h"
#include "texture/window/BitmapperProgram.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

namespace qorlu {

const DropZoneProgram& BitmapperProgram() {
    namespace res = resources::bitmapper;
    static const DropZoneProgram program{res::Program(),      res::kMainTemplate, res::kIdcExportZone,
                                         res::kIdcImportZone, &ExportTextures,    &ImportTexture};
    return program;
}

} // namespace qorlu
