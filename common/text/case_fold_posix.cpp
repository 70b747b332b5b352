// Names compared where the system has no table of its own to offer.
#include "text/case_fold.h"

namespace morsela {

bool UnitsEqualNoCase(const char16_t* a, const char16_t* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (UpperCaseUnit(a[i]) != UpperCaseUnit(b[i])) return false;
  }
  return true;
}

}  // namespace morsela
