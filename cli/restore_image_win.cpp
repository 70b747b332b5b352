// Morsela.com carries the restore program as a resource, as Morsela.exe does.
#include "platform/platform.h"
#include "restore_image.h"

namespace morsela {

std::string_view RestoreImageCarried() { return NativePlatform().RestoreImage(); }

}  // namespace morsela
