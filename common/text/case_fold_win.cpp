// Names compared by the system's own table.
#include <windows.h>

#include "text/case_fold.h"

namespace morsela {

bool UnitsEqualNoCase(const char16_t* a, const char16_t* b, std::size_t length) {
  // One call compares at most INT_MAX units; names are far shorter.
  return length == 0 || CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a), int(length),
                                             reinterpret_cast<const wchar_t*>(b), int(length), TRUE) == CSTR_EQUAL;
}

}  // namespace morsela
