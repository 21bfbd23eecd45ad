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

    // ---- The open file ------------------------------------------------------------------------

    // Opens the path with the access (GENERIC_READ, GENERIC_WRITE, ...) and disposition
    // (OPEN_EXISTING, CREATE_ALWAYS, ...) given, sharing it with nobody. 1 when it opened, else 0;
    // the object keeps no handle then. A handle held already is not closed first.
    int Open(unsigned long access, unsigned long disposition);
    // Closes the handle, whatever it holds; the platform's result. On success the object is closed.
    int Close();
    // The file's size in bytes, from the open handle, or else by opening the file for this query
    // alone and closing it again; 0 when it cannot be opened (also while another opener holds it).
    // Sizes of 4 GiB and more are given in full.
    __int64 GetSize();
    // The whole file as text in the thread's ANSI code page, up to its first zero byte. Needs an
    // object opened with read access; 0, text unchanged, when it is closed, the file is empty or
    // the read fails.
    int ReadString(CString& text);
    // The size of the file at a path, without opening it (also while it is open elsewhere); 0,
    // size 0, when the path cannot be queried.
    static int GetFileSize(const CString& path, ULONGLONG& size);
    // 1 when the path has the read-only attribute; the handle plays no part.
    int IsReadOnly();
    // Reads up to count bytes from the start of the file; every call starts there again. 0,
    // nothing written, when the buffer is null or the object is closed; else the platform's
    // result, with the count moved in *done when done is not null. At most 2^32 - 1 bytes a call.
    int Read(void* buffer, __int64 count, __int64* done);
    // Writes count bytes at the start of the file, as Read does; the bytes of a longer file beyond
    // them stay.
    int WriteFlush(const void* buffer, __int64 count, __int64* done);

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

    // ---- Files and folders: 0 for paths of more than 260 characters where marked "guarded" ---

    // Guarded. Sets (readOnly nonzero) or clears the read-only attribute; the others stay.
    static int SetReadOnly(const CString& path, int readOnly);
    // Guarded. Adds the hidden attribute; nothing takes it away again.
    static int SetHidden(const CString& path);
    // Guarded. Creates the file, or empties an existing one; 1 when it could be opened.
    static int CreateNewFile(const CString& path);
    // Guarded. Deletes a file; a read-only one stays.
    static int RemoveFile(const CString& path);
    // Guarded. Creates one folder in an existing one; 0 also when it exists already.
    static int MakeDir(const CString& folder);
    // Guarded. Creates every missing folder of the path except its first component; nonzero
    // exactly when this call created the last folder.
    static int MakeDirRecursively(const CString& folder);
    // Guarded. Deletes a folder with everything in it; 1 when the folder is gone. Read-only files
    // stay, with the folders that hold them; the failure is logged with the platform's error.
    static int RemoveFolder(CString& folder);
    // The bytes available to the caller on the volume of the folder.
    static int GetAvailableDiscSize(const wchar_t* folder, ULARGE_INTEGER* available);
    // The creation time (not guarded) and the last write time (guarded) of a file, as local time
    // with the machine's current offset; 0, time untouched, when the file cannot be opened (a
    // folder cannot).
    static int GetFileCreateTime(const CString& path, SYSTEMTIME& time);
    static int GetFileLastWriteTime(const CString& path, SYSTEMTIME& time);
    // The file version of the version resource as "a.b.c.d"; "" without one.
    static CString GetFileVersion(const CString& path);
    // The version resource's "FileVersion" text, from the translation of the ANSI code page or
    // else the first one; "" without one.
    static CString GetFileInfo(const wchar_t* path);

protected:
    CString* m_pPath;  // owned; null only when its allocation failed
    HANDLE m_hFile;    // INVALID_HANDLE_VALUE while closed

private:
    // Deletes what a folder holds, depth first, as far as it can; always 1.
    static int DeleteDirectory(CString& folder);
};
