// CFileOperation: a file named by a path, and static helpers for paths, files and folders.
#pragma once

#include "commonutility/CString.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

// One file named by a path, with at most one open handle to it; the static members need no
// object.
//
// Paths are Windows paths on Windows. On POSIX the same rules apply with '/' as the separator and
// without drives: GetRootPath and GetRootPathWithoutDelimiter give the empty string, and the root
// is "/" (or any run of slashes). Path lengths are measured in UTF-16 code units on every
// platform; a text beyond an operation's limit gives the empty string (or 0, or is left
// unchanged by the two trimming operations).
class COMMONUTILITY_API CFileOperation {
public:
    CFileOperation();  // empty path, closed
    // Copies the path as it is, closed.
    CFileOperation(const CString& path);  // NOLINT: implicit, as callers expect
    // The copy holds a copy of the path. A copy of an open object is closed: each handle has one
    // owner, which closes it.
    CFileOperation(const CFileOperation& other);
    // Nothing for self-assignment. Otherwise the path becomes a copy of the other's (when it has
    // one) and the handle that of the other as the copy constructor gives it; this object's
    // previous handle is not closed.
    CFileOperation& operator=(const CFileOperation& other);
    // Closes an open handle, then releases the path.
    virtual ~CFileOperation();

    // A copy of the path; empty when the object has no path string.
    CString GetPath() const;
    // 0, path unchanged, when the object has no path string or the new path has more than 260
    // characters; else 1. An open handle stays as it is.
    int SetPath(const CString& path);

    // ---- Paths --------------------------------------------------------------------------------

    // The running program's file ("" when it is unknown or longer than 259 characters).
    static CString GetAppPath();
    // The temporary folder, with its trailing delimiter ("" when unknown or longer than 259).
    static CString GetTempDir();
    // The drive with its delimiter (C:\), or without it (C:); "" when the path has none.
    static CString GetRootPath(const CString& path);
    static CString GetRootPathWithoutDelimiter(const CString& path);
    // Extension of the last component with its dot (.gz for archive.tar.gz), or "".
    static CString GetFileExt(const CString& path);
    // The last component without its extension, and with it.
    static CString GetFileName(const CString& path);
    static CString GetFileFullName(const CString& path);
    // The folder part with its trailing delimiter; for a path that ends with a delimiter, the
    // parent folder. "" for a root, for "" and for a path without a delimiter.
    static CString GetFileDir(const CString& path);
    // first and second joined with exactly one delimiter where they meet; "" when either has more
    // than 256 characters.
    static CString Concatenate(const CString& first, const CString& second);
    // Removes one trailing delimiter (paths of at most 260 characters).
    static void CutTailPathDelimiter(CString& path);
    // Adds a trailing delimiter when there is none (paths of at most 256 characters).
    static void AppendTailPathDelimiter(CString& path);

    // ---- Probes: 1 for yes, 0 for no and for paths of more than 260 characters ----------------

    // An existing file (not a folder).
    static int IsFileAvailable(const CString& path);
    // The read-only or the hidden attribute is set.
    static int IsReadOnly(const CString& path);
    static int IsHidden(const CString& path);
    // An existing folder.
    static int IsDirAvailable(const CString& folder);
    // An existing folder in which the caller can create a new file; probes with a file "<n>.uen"
    // that is deleted at once and never opens an existing file.
    static int IsDirWritable(const CString& folder);

protected:
    CString* m_pPath;  // owned; null only when its allocation failed
    HANDLE m_hFile;    // INVALID_HANDLE_VALUE while closed
};
