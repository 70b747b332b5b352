// Stand-ins for the restore program and the restore page, for a command
// line built for its tests: enough for the split to write a set.
#include "restore_image.h"

namespace morsela {

Carried CarriedFiles() {
  return {"MZ restore program stand-in\r\n",
          "<html><script type=\"application/x-morsela-set\" id=\"morsela-set\">MORSELA-SET</script></html>"};
}

}  // namespace morsela
