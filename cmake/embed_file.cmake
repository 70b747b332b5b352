# Writes OUTPUT, a C++ file defining morsela::CarriedFiles() over the bytes
# of IMAGE (the restore program; none when IMAGE is empty) and PAGE (the
# restore page). Run with cmake -P at build time, so that a restore program
# or page built again is carried again.
function(bytes_of path out_bytes out_size)
  if(path AND EXISTS "${path}")
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(REGEX REPLACE "(([^,]*,){24})" "\\1\n" bytes "${bytes}")
  else()
    set(size 0)
    set(bytes "0")
  endif()
  set(${out_bytes} "${bytes}" PARENT_SCOPE)
  set(${out_size} "${size}" PARENT_SCOPE)
endfunction()
bytes_of("${IMAGE}" image_bytes image_size)
bytes_of("${PAGE}" page_bytes page_size)
file(WRITE "${OUTPUT}.new" "// Generated from ${IMAGE} and ${PAGE}: do not edit.
#include \"restore_image.h\"

namespace morsela {
namespace {
const char kImage[] = {
${image_bytes}};
const char kPage[] = {
${page_bytes}};
}  // namespace

Carried CarriedFiles() { return {std::string_view(kImage, ${image_size}), std::string_view(kPage, ${page_size})}; }

}  // namespace morsela
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
