// What the command line writes beside every set besides the pieces: the
// restore program for Windows and the restore page, carried in the program
// itself as Morsela.exe carries them.
#pragma once

#include <string_view>

namespace morsela {

struct Carried {
  std::string_view image;         // the restore program; empty in a build given none
  std::string_view pageTemplate;  // the restore page with no set inside
};

// What this program carries; a split refuses where either is missing.
Carried CarriedFiles();

}  // namespace morsela
