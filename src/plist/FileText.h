// Reading a document's file and saving it without ever leaving a torn file: written once, against
// the Win32 file calls, for every platform.
#pragma once

#include <cstddef>
#include <string>

#include "commonutility/CString.h"
#include "plist/dom/Dom.h"

namespace cu::detail {

// Loads the file at path into doc. False when it cannot be opened (missing, denied, or held by an
// opener that does not share reading: the thread's last error says which), cannot be read whole,
// or is not a well-formed document.
bool LoadDocumentFile(CXMLDOMDocument2& doc, const CString& path);

// Makes bytes the content of the file at path, so that a crash at any instant leaves the old
// content or the new one, complete: the bytes go to a new file beside the target, which is flushed
// and then replaces it. Symbolic links are followed (a link to a missing file gets its target
// made). A target that any writer would be refused (read-only, a folder, held without shared
// writing, not writable by the caller) stays as it is, and so does everything on a failure.
// Where no file can be made beside the target (a folder the caller may not write), and where the
// target has more than one name (hard links), the bytes are written into the target in place
// instead, flushed: then a crash during the write can tear it. False when the save failed.
bool SaveFileText(const CString& path, const std::string& bytes);

// The temporary files that saves of the file at path make beside it begin with this name. A save
// killed before it replaced the target leaves its temporary file, which the next save of that
// target removes; files of saves still under way are held open against deletion and stay.
CString TemporaryPrefixFor(const CString& fileName);

}  // namespace cu::detail
