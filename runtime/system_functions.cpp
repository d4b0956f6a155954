#include "runtime/system_functions.h"

namespace snipora::sys {

ExternalEntry systemFunctionTable[static_cast<int>(SystemFunction::Count)] = {
#define SNIPORA_SYSTEM_FUNCTION_ENTRY(id, library, name, ...) {library, name},
    SNIPORA_SYSTEM_FUNCTIONS(SNIPORA_SYSTEM_FUNCTION_ENTRY)
#undef SNIPORA_SYSTEM_FUNCTION_ENTRY
};

void ReleaseSystemFunctions() { ReleaseExternalLibraries(systemFunctionTable); }

}  // namespace snipora::sys
