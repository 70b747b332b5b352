// Morsela.com carries the restore program and the restore page as
// resources, as Morsela.exe does.
#include "platform/platform.h"
#include "restore_image.h"

namespace morsela {

Carried CarriedFiles() { return {NativePlatform().RestoreImage(), NativePlatform().PageTemplate()}; }

}  // namespace morsela
