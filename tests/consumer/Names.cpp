// The library's header with a program's own Win32 names: defined first as macros, and declared
// again afterwards as typedefs of the same types. Both must compile and keep the program's meaning.
#if !defined(_WIN32)

#include "OwnNames.h"

#include <CommonUtility.h>

// The same names once more after the library's header, the way a second header would.
typedef unsigned int DWORD_AGAIN;
typedef int INT;
typedef unsigned char BYTE;
#ifndef ERROR_SUCCESS
#error "the library's header must still define the names the program left free"
#endif

static_assert(MAX_PATH == 4096, "the program's own MAX_PATH must stay");
static_assert(sizeof(unsigned __int64) == 8, "the program's own __int64 macro must stay");

// Uses the interface through the program's names: 1 when everything answered as expected.
int UseWithOwnNames() {
    CXMLDict dict;
    const unsigned __int64 value = 7;
    BOOL added = dict.AddElement(L"n", eXMLInt, value) == TRUE;
    __int64 read = 0;
    CXMLElement* child = dict[L"n"];
    DWORD ok = added && child != nullptr && child->GetValue(&read) && read == 7 && SUCCEEDED(0);
    HANDLE none = nullptr;
    return ok && none == nullptr ? 1 : 0;
}

#else
int UseWithOwnNames() { return 1; }
#endif
