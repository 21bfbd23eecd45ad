// The file functions of the platform layer: what CreateFileW does with each disposition, its
// errors, share modes within and across processes, delete on close, read-only files, the
// temporary folder and the program's path; and the calls that loads and saves are built on:
// sizes, truncation and flushing of an open file, its information and final path, moves and
// replacements. Under Wine the same expectations are checked against the real functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "commonutility/FileOperation.h"
#include "platform/Scoped.h"
#include "platform/win32.h"
#include "support/LastError.h"
#include "support/Printers.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Wine.h"

namespace {

using namespace cu::test;
using cu::platform::ScopedFile;

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, doc = FILE_FLAG_DELETE_ON_CLOSE;
constexpr DWORD sR = FILE_SHARE_READ, sW = FILE_SHARE_WRITE, sD = FILE_SHARE_DELETE, kShareAll = sR | sW | sD;
constexpr DWORD kUntouched = 0xDEADu;  // a last error that no call sets
constexpr DWORD kDenied = ERROR_ACCESS_DENIED;

// The last error after an open, whose handle is closed again at once. A handle comes back exactly
// when the error is 0 or ERROR_ALREADY_EXISTS.
DWORD OpenError(const CString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    SetLastError(kUntouched);
    const HANDLE handle = CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    const DWORD error = GetLastError();
    EXPECT_EQ(handle != INVALID_HANDLE_VALUE, error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return error;
}

#if !defined(_WIN32)
// OpenError as another process sees it (codes above 254 come back as 255). Windows enforces
// share modes across processes itself, and has no fork().
int OpenErrorInChild(const CString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return ExitStatus(Spawn([&] {
        return static_cast<int>(std::min<DWORD>(OpenError(path, access, share, disposition, flags), 255));
    }));
}
#endif

TEST(FileOpen, DispositionsMissingPathsAndReadOnlyFiles) {
    const wchar_t* const kReadOnly = L"ro";
    // Each name is in a folder holding "old" and kReadOnly (nullptr: the empty path); after is what
    // the name holds afterwards (nullptr: not checked).
    struct Case { const wchar_t* name; DWORD access, disposition, flags, error; const char* after; } cases[] = {
        {L"new", R | W, CREATE_NEW, 0, ERROR_SUCCESS, ""},
        {L"old", R | W, CREATE_NEW, 0, ERROR_FILE_EXISTS, "old"},
        {L"new", R | W, CREATE_ALWAYS, 0, ERROR_SUCCESS, ""},
        {L"old", R | W, CREATE_ALWAYS, 0, ERROR_ALREADY_EXISTS, ""},
        {L"new", R | W, OPEN_EXISTING, 0, ERROR_FILE_NOT_FOUND, "<missing>"},
        {L"old", R | W, OPEN_EXISTING, 0, ERROR_SUCCESS, "old"},
        {L"new", R | W, OPEN_ALWAYS, 0, ERROR_SUCCESS, ""},
        {L"old", R | W, OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS, "old"},
        {L"new", R | W, TRUNCATE_EXISTING, 0, ERROR_FILE_NOT_FOUND, "<missing>"},
        {L"old", R | W, TRUNCATE_EXISTING, 0, ERROR_SUCCESS, ""},
        {L"old", 0, OPEN_EXISTING, doc, ERROR_SUCCESS, "<missing>"},
        {L"new/file", R | W, CREATE_ALWAYS, 0, ERROR_PATH_NOT_FOUND, "<missing>"},
        {L"old/child", R, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND, "<missing>"},
        {nullptr, R, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND, nullptr},
        // Without backup semantics a folder is never opened.
        {L".", R, CREATE_NEW, 0, ERROR_FILE_EXISTS, nullptr},
        {L".", R, OPEN_EXISTING, 0, kDenied, nullptr},
        {L".", R | W, OPEN_ALWAYS, 0, kDenied, nullptr},
        // The read-only attribute binds everybody, root included.
        {kReadOnly, R, OPEN_EXISTING, 0, ERROR_SUCCESS, "ro"},
        {kReadOnly, 0, OPEN_EXISTING, doc, kDenied, "ro"},
        {kReadOnly, W, OPEN_EXISTING, 0, kDenied, "ro"},
        {kReadOnly, R, CREATE_ALWAYS, 0, kDenied, "ro"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir.Path(L"old"), "old");
        WriteBytes(dir.Path(kReadOnly), "ro");
        SetReadOnly(dir.Path(kReadOnly));
        const CString path = c.name != nullptr ? dir.Path(c.name) : CString();
        SCOPED_TRACE(path.ToUtf8() + ", disposition " + std::to_string(c.disposition));
        // Wine leaves the read-only check to the host's permissions, which root passes.
        if (RunningUnderWine() && c.name == kReadOnly && c.flags == 0 && c.error == kDenied) continue;
        EXPECT_EQ(OpenError(path, c.access, 0, c.disposition, c.flags), c.error);
        if (c.after != nullptr) EXPECT_EQ(ReadBytes(path), c.after);
        // Attributes of what is missing fail with the same error.
        SetLastError(kUntouched);
        if (c.error == ERROR_FILE_NOT_FOUND || c.error == ERROR_PATH_NOT_FOUND)
            EXPECT_TRUE(GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && GetLastError() == c.error);
    }
}

TEST(ShareModes, ConflictsBetweenOpensHereAndInOtherProcesses) {
    constexpr DWORD O = OPEN_EXISTING;
    struct Case { const char* what; DWORD access1, share1, flags1, access2, share2, disposition2, flags2, error; };
    const Case cases[] = {
        {"two readers sharing reads", R, sR, 0, R, sR, O, 0, ERROR_SUCCESS},
        {"a writer where writes are denied", R, sR, 0, R | W, sR | sW, O, 0, ERROR_SHARING_VIOLATION},
        {"truncating where writes are denied", R, sR, 0, W, kShareAll, CREATE_ALWAYS, 0, ERROR_SHARING_VIOLATION},
        {"a reader where reads are denied", R, 0, 0, R, sR | sW, O, 0, ERROR_SHARING_VIOLATION},
        {"denying writes to a writer", W, sR, 0, R, sR, O, 0, ERROR_SHARING_VIOLATION},
        {"a reader that lets the writer be", W, sR, 0, R, sR | sW, O, 0, ERROR_SUCCESS},
        {"no data access does not deny", 0, 0, 0, R | W, 0, O, 0, ERROR_SUCCESS},
        {"no data access is not denied", R | W, 0, 0, 0, 0, O, 0, ERROR_SUCCESS},
        {"a delete-on-close probe denies reads", R, kShareAll, 0, 0, sD, O, doc, ERROR_SHARING_VIOLATION},
        {"deleting needs shared delete", R, sR | sW, 0, 0, kShareAll, O, doc, ERROR_SHARING_VIOLATION},
        {"denying delete to a deleter", R, kShareAll, doc, R, sR | sW, O, 0, ERROR_SHARING_VIOLATION},
        {"sharing delete with a deleter", R, kShareAll, doc, R, kShareAll, O, 0, ERROR_SUCCESS},
    };
    TempDir dir;
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CString path = dir.Path(std::to_wstring(number++).c_str());
        WriteBytes(path, "content");
        const HANDLE first = CreateFileW(path, c.access1, c.share1, nullptr, OPEN_EXISTING, c.flags1, nullptr);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        EXPECT_EQ(OpenError(path, c.access2, c.share2, c.disposition2, c.flags2), c.error);
#if !defined(_WIN32)
        EXPECT_EQ(OpenErrorInChild(path, c.access2, c.share2, c.disposition2, c.flags2), static_cast<int>(c.error));
#endif
        // A refused open leaves nothing behind: it truncated nothing, and once the first handle is
        // gone it succeeds. (Windows lets the standard library read only then.)
        CloseHandle(first);
        if (c.flags1 == 0) {
            EXPECT_EQ(ReadBytes(path), "content");
            EXPECT_EQ(OpenError(path, c.access2, c.share2, OPEN_EXISTING, c.flags2), 0u);
        }
    }
}

// A file that takes the name of one open for deletion on close is another file, and stays.
TEST(DeleteOnClose, SparesAnotherFileThatTookTheName) {
    TempDir dir;
    const CString path = dir.Path(L"file");
    const HANDLE handle = CreateFileW(path, W, kShareAll, nullptr, CREATE_NEW, doc, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    std::error_code error;
    std::filesystem::rename(FsPath(path), dir.FsPath() / "moved", error);
    EXPECT_FALSE(error) << error.message();
    WriteBytes(path, "newcomer");
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(ReadBytes(path), "newcomer");
}

TEST(TempPath, ReportsTheSizeNeededAndComesFromTmpdir) {
    const DWORD needed = GetTempPathW(0, nullptr);
    ASSERT_GT(needed, 1u);
    std::wstring buffer(needed + 8, L'#');
    EXPECT_EQ(GetTempPathW(needed - 1, &buffer[0]), needed);
    EXPECT_EQ(GetTempPathW(needed, &buffer[0]), needed - 1);
    EXPECT_EQ(buffer[needed - 2], cu::platform::kPathDelimiter);
    EXPECT_EQ(CFileOperation::GetTempDir(), CString(buffer.c_str()));
#if !defined(_WIN32)
    // TMPDIR, else /tmp, with a trailing slash; CFileOperation takes it only within 259 units.
    const std::string fits = "/" + std::string(257, 't'), over = fits + "t";
    const std::string astral = "/" + std::string(256, 't') + "\xF0\x9F\x98\x80";  // 1 wchar_t, 2 units
    // TMPDIR (nullptr: unset), the folder, and whether it fits within 259 units with the slash.
    struct Case { const char* tmpdir; std::string folder; bool fits; } cases[] = {
        {nullptr, "/tmp/", true},
        {"", "/tmp/", true},
        {"/var/cache/work/", "/var/cache/work/", true},
        {fits.c_str(), fits + "/", true},
        {over.c_str(), over + "/", false},
        {astral.c_str(), astral + "/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
        ScopedEnv env("TMPDIR", c.tmpdir);
        wchar_t buffer[1024];
        EXPECT_EQ(CString(buffer, static_cast<int>(GetTempPathW(1024, buffer))).ToUtf8(), c.folder);
        EXPECT_EQ(CFileOperation::GetTempDir().ToUtf8(), c.fits ? c.folder : "");
    }
#endif
}

TEST(ModulePath, CutsThePathToTheBuffer) {
    wchar_t full[1024];
    const DWORD length = GetModuleFileNameW(nullptr, full, 1024);
    ASSERT_TRUE(length > 4 && length < 1024);
    EXPECT_EQ(CFileOperation::GetAppPath(), CString(full));
    EXPECT_EQ(CFileOperation::GetFileName(full), L"file_tests");
    constexpr DWORD kShort = ERROR_INSUFFICIENT_BUFFER;
    const struct { DWORD size, result, error; } cases[] = {
        {0, 0, kShort}, {5, 5, kShort}, {length, length, kShort}, {length + 1, length, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::wstring buffer(length + 8, L'#');
        SetLastError(kUntouched);
        EXPECT_EQ(GetModuleFileNameW(nullptr, &buffer[0], c.size), c.result);
        EXPECT_EQ(GetLastError(), c.error);
        // What was written is the beginning of the path; nothing beyond the buffer is touched.
        const DWORD kept = c.size == 0 ? 0 : (c.size <= length ? c.size - 1 : length);
        EXPECT_EQ(buffer.substr(0, kept), std::wstring(full, kept));
        EXPECT_EQ(buffer[c.size], L'#');
    }
}

ScopedFile Open(const CString& path, DWORD access, DWORD share = kShareAll) {
    return ScopedFile(CreateFileW(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST(OpenFileCalls, SizeTruncateFlushInformationAndFinalPath) {
    TempDir dir;
    const CString path = dir.Path(L"final.txt");
    WriteBytes(path, "0123456789");
    const ScopedFile file = Open(path, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(file.IsValid());
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(file.Get(), &size));
    EXPECT_EQ(size.QuadPart, 10);
    ASSERT_EQ(SetFilePointer(file.Get(), 4, nullptr, FILE_BEGIN), 4u);
    ASSERT_TRUE(SetEndOfFile(file.Get()));
    ASSERT_TRUE(FlushFileBuffers(file.Get()));
    ASSERT_TRUE(GetFileSizeEx(file.Get(), &size));
    EXPECT_EQ(size.QuadPart, 4);

    BY_HANDLE_FILE_INFORMATION information;
    ASSERT_TRUE(GetFileInformationByHandle(file.Get(), &information));
    EXPECT_EQ(information.nNumberOfLinks, 1u);
    EXPECT_EQ(information.nFileSizeLow, 4u);

    const DWORD needed = GetFinalPathNameByHandleW(file.Get(), nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    ASSERT_GT(needed, 9u);
    std::wstring final(needed, L'\0');
    ASSERT_EQ(GetFinalPathNameByHandleW(file.Get(), &final[0], needed, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS),
              needed - 1);
    EXPECT_EQ(final.substr(needed - 10, 9), L"final.txt");

    // A handle without write access may not flush or truncate.
    const ScopedFile reader = Open(path, GENERIC_READ);
    ASSERT_TRUE(reader.IsValid());
    EXPECT_FAILS_WITH(FlushFileBuffers(reader.Get()), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetEndOfFile(reader.Get()));
}

TEST(Moves, ReplaceOnlyWhenAskedAndNeverAReadOnlyFile) {
    TempDir dir;
    const CString from = dir.Path(L"from.txt"), to = dir.Path(L"to.txt"), locked = dir.Path(L"locked.txt");
    WriteBytes(from, "new");
    WriteBytes(to, "old");
    EXPECT_FAILS_WITH(MoveFileExW(from, to, 0), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadBytes(to), "old");

    // Windows refuses to replace a read-only file; Wine replaces it.
    if (!RunningUnderWine()) {
        WriteBytes(locked, "kept");
        SetReadOnly(locked);
        EXPECT_FAILS_WITH(MoveFileExW(from, locked, MOVEFILE_REPLACE_EXISTING), ERROR_ACCESS_DENIED);
        EXPECT_EQ(ReadBytes(locked), "kept");
    }

    {
        // A source held open without shared deletion cannot move.
        const ScopedFile holder = Open(from, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(holder.IsValid());
        EXPECT_FAILS_WITH(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING), ERROR_SHARING_VIOLATION);
    }
    ASSERT_TRUE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadBytes(to), "new");
    EXPECT_FALSE(Exists(from));
    EXPECT_FAILS_WITH(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING), ERROR_FILE_NOT_FOUND);
}

TEST(Replacement, SwapsContentAndKeepsTheOldFileWhenItIsProtected) {
    TempDir dir;
    const CString target = dir.Path(L"target.txt"), fresh = dir.Path(L"fresh.txt");
    WriteBytes(target, "old");
    WriteBytes(fresh, "new");
    ASSERT_EQ(CFileOperation::SetHidden(target), 1);
    ASSERT_TRUE(ReplaceFileW(target, fresh, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_FALSE(Exists(fresh));

    WriteBytes(fresh, "newer");
    {
        const ScopedFile holder = Open(target, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(holder.IsValid());
        EXPECT_FALSE(ReplaceFileW(target, fresh, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
    }
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(fresh), "newer");
    SetReadOnly(target);
    EXPECT_FALSE(ReplaceFileW(target, fresh, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_FAILS_WITH(ReplaceFileW(dir.Path(L"gone.txt"), fresh, nullptr, 0, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

}  // namespace
