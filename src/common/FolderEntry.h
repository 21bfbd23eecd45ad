// How a folder removal treats the entries that a search finds.
#pragma once

#include "platform/win32.h"

namespace cu::detail {

// Whether the removal of a folder goes into this sub-folder and removes what it holds. It does,
// unless the entry is a name surrogate (a symbolic link or a junction), whose contents belong to
// its target: the removal then takes only the entry away. Other reparse points (cloud-file
// placeholders, deduplicated or archived folders) hold their own content and are emptied like any
// folder. A reparse point without a tag is taken for a link: no reparse point has the tag 0, and
// it is what Wine gives for a link made outside it.
inline bool EntersSubfolder(const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
    return entry.dwReserved0 != 0 && !IsReparseTagNameSurrogate(entry.dwReserved0);
}

}  // namespace cu::detail
