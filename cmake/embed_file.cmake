# Writes OUTPUT, a C++ file defining morsela::RestoreImageCarried() over the
# bytes of INPUT (none when INPUT is empty). Run with cmake -P at build time,
# so that a restore program built again is carried again.
if(INPUT AND EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(REGEX REPLACE "(([^,]*,){24})" "\\1\n" bytes "${bytes}")
else()
  set(size 0)
  set(bytes "0")
endif()
file(WRITE "${OUTPUT}.new" "// Generated from ${INPUT}: do not edit.
#include \"restore_image.h\"

namespace morsela {
namespace {
const char kImage[] = {
${bytes}};
}  // namespace

std::string_view RestoreImageCarried() { return std::string_view(kImage, ${size}); }

}  // namespace morsela
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
