// Lets GoogleTest print CString values as text instead of as pointers.
#pragma once

#include <ostream>

#include "commonutility/CString.h"

inline void PrintTo(const CString& text, std::ostream* out) { *out << '"' << text.ToUtf8() << '"'; }
