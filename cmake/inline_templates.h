// Included first in every file of the restore program (Windows build).
// The C++ library ships its string type compiled in one object that also
// brings in the exception runtime and thread support; letting the compiler
// instantiate the few string operations used instead keeps those out of the
// program, which travels beside every piece set.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
