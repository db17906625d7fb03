// The library's own version, compiled in: a host compares it with the
// version of the headers it was built with.
#include "talixdbapi/Version.h"

namespace VLT_121 {

const char* getLibraryVersion() { return TALIXDBAPI_VERSION_STRING; }

}  // namespace VLT_121
