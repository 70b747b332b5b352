#include "messages.h"

namespace morsela {

const char kCannotReadFile[] = "Cannot Read File !";
const char kCannotWriteFile[] = "Cannot Write File !";

}  // namespace morsela
