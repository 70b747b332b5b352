// The restore program for Windows that the command line writes beside
// every set: carried in the program itself, as Morsela.exe carries it.
#pragma once

#include <string_view>

namespace morsela {

// Its bytes; empty in a build given none, where a split then refuses.
std::string_view RestoreImageCarried();

}  // namespace morsela
