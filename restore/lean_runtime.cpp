// Lean stand-ins for the C++ runtime's failure paths, linked into the
// restore program only. The runtime's own versions build exception objects
// that drag in its whole string library, a second string implementation and
// a symbol demangler: three times the size of the program itself. None of
// these paths is taken in a run (the texts handled are a few paths and
// names), and when one is, ending the program at once is all that the
// runtime's versions would end up doing too.
#include <bits/functexcept.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace std {
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// Memory that cannot be had ends the program as well; the runtime's own
// allocator would throw, which brings in the whole exception machinery.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size ? size : 1)) return p;
  std::abort();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
