// Message texts that both executables show.
#pragma once

namespace morsela {

extern const char kCannotReadFile[];
extern const char kCannotWriteFile[];

}  // namespace morsela
