#include "gdiplus/flat_functions.h"

namespace snipora::flat {

#define SNIPORA_FLAT_PLAIN_ENTRY(name, library, exported, ...) {library, exported},
#define SNIPORA_FLAT_ENTRY(shape, name, library, arguments) SNIPORA_FLAT_IF_##shape({library, #name}, )

ExternalEntry flatFunctionTable[static_cast<int>(FlatFunction::Count)] = {
    SNIPORA_GDIPLUS_PLAIN_FUNCTIONS(SNIPORA_FLAT_PLAIN_ENTRY)
    SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_FLAT_ENTRY)
    SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_FLAT_ENTRY)
    SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_FLAT_ENTRY)
};

void ReleaseFlatFunctions() { ReleaseExternalLibraries(flatFunctionTable); }

}  // namespace snipora::flat
