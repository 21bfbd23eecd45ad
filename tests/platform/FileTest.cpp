// The file functions of the platform layer: what CreateFileW does with each disposition, its
// errors, share modes within and across processes, delete on close, read-only files, attributes,
// the temporary folder and the program's path. Under Wine the same expectations are checked
// against the real functions.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "platform/win32.h"
#include "support/Printers.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Wine.h"

namespace {

using cu::test::Exists;
using cu::test::ReadBytes;
using cu::test::TempDir;
using cu::test::WriteBytes;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kUntouched = 0xDEADu;  // a last error that no call sets

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Close() {
        if (Valid()) CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

Handle Open(const CString& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    return Handle(CreateFileW(path, access, share, nullptr, disposition, flags, nullptr));
}

// 0 when the open succeeds (the handle is closed again at once), else the last error.
DWORD OpenError(const CString& path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = 0) {
    SetLastError(kUntouched);
    Handle handle = Open(path, access, share, disposition, flags);
    return handle.Valid() ? 0 : GetLastError();
}

TEST(FileOpen, DispositionsOnMissingAndExistingFiles) {
    struct Case {
        const char* what;
        DWORD disposition;
        bool exists;
        DWORD error;               // 0 or ERROR_ALREADY_EXISTS when the open succeeds
        const char* contentAfter;  // "<missing>": no file afterwards
    } cases[] = {
        {"CREATE_NEW, missing", CREATE_NEW, false, ERROR_SUCCESS, ""},
        {"CREATE_NEW, existing", CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
        {"CREATE_ALWAYS, missing", CREATE_ALWAYS, false, ERROR_SUCCESS, ""},
        {"CREATE_ALWAYS, existing", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {"OPEN_EXISTING, missing", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {"OPEN_EXISTING, existing", OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
        {"OPEN_ALWAYS, missing", OPEN_ALWAYS, false, ERROR_SUCCESS, ""},
        {"OPEN_ALWAYS, existing", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        {"TRUNCATE_EXISTING, missing", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {"TRUNCATE_EXISTING, existing", TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
    };
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CString path = dir.Path((L"file" + std::to_wstring(number++)).c_str());
        if (c.exists) WriteBytes(path, "old");
        SetLastError(kUntouched);
        {
            Handle handle = Open(path, kReadWrite, 0, c.disposition);
            EXPECT_EQ(handle.Valid(), c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS);
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(ReadBytes(path), c.contentAfter);
    }
}

TEST(FileOpen, MissingPathsAndFolders) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    WriteBytes(dir.Path(L"file"), "x");
    struct Case {
        CString path;
        DWORD error;
    } missing[] = {
        {dir.Path(L"none"), ERROR_FILE_NOT_FOUND},
        {dir.Path(L"none/file"), ERROR_PATH_NOT_FOUND},
        {dir.Path(L"file/child"), ERROR_PATH_NOT_FOUND},
        {CString(L""), ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : missing) {
        SCOPED_TRACE(c.path.ToUtf8());
        EXPECT_EQ(OpenError(c.path, GENERIC_READ, 0, OPEN_EXISTING), c.error);
        SetLastError(kUntouched);
        EXPECT_EQ(GetFileAttributesW(c.path), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(OpenError(dir.Path(L"none/file"), kReadWrite, 0, CREATE_ALWAYS),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(Exists(dir.Path(L"none")));

    // Without backup semantics a folder is never opened.
    struct {
        DWORD access;
        DWORD disposition;
        DWORD error;
    } folder[] = {
        {GENERIC_READ, CREATE_NEW, ERROR_FILE_EXISTS},
        {GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {kReadWrite, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {0, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : folder) {
        SCOPED_TRACE(c.disposition);
        EXPECT_EQ(OpenError(dir.Path(), c.access, 0, c.disposition), c.error);
    }
    EXPECT_EQ(PathIsDirectoryW(dir.Path()), static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(FileAttributes, FilesCarryArchiveAndWhatTheyWereCreatedWith) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    constexpr DWORD kProbed = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    for (DWORD given : std::initializer_list<DWORD>{0, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY}) {
        SCOPED_TRACE(given);
        const CString path = dir.Path((L"file" + std::to_wstring(given)).c_str());
        ASSERT_TRUE(Open(path, GENERIC_WRITE, 0, CREATE_NEW, given).Valid());
        EXPECT_EQ(GetFileAttributesW(path) & kProbed, FILE_ATTRIBUTE_ARCHIVE | given);
    }
}

#if !defined(_WIN32)
// The hidden and system bits live in user.DOSATTRIB as hexadecimal text, as Samba and Wine keep
// them: a file hidden by either is hidden here, and the other way round.
TEST(FileAttributes, HiddenBitIsSharedThroughExtendedAttribute) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const CString byOthers = dir.Path(L"by-others");
    WriteBytes(byOthers, "x");
    if (setxattr(byOthers.ToUtf8().c_str(), "user.DOSATTRIB", "0x22", 4, 0) != 0)
        GTEST_SKIP() << "the temporary folder has no user extended attributes";
    EXPECT_EQ(GetFileAttributesW(byOthers) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              FILE_ATTRIBUTE_HIDDEN);

    const CString byUs = dir.Path(L"by-us");
    ASSERT_TRUE(Open(byUs, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM).Valid());
    char text[16] = {};
    EXPECT_EQ(getxattr(byUs.ToUtf8().c_str(), "user.DOSATTRIB", text, sizeof text - 1), 3);
    EXPECT_STREQ(text, "0x6");
}
#endif

TEST(ShareModes, ConflictsBetweenOpensInOneProcess) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    constexpr DWORD sR = FILE_SHARE_READ, sW = FILE_SHARE_WRITE, sD = FILE_SHARE_DELETE;
    constexpr DWORD doc = FILE_FLAG_DELETE_ON_CLOSE;
    struct Case {
        const char* what;
        DWORD access1, share1, flags1;
        DWORD access2, share2, flags2;
        DWORD error;
    } cases[] = {
        {"two readers sharing reads", R, sR, 0, R, sR, 0, ERROR_SUCCESS},
        {"a writer where writes are denied", R, sR, 0, R | W, sR | sW, 0, ERROR_SHARING_VIOLATION},
        {"a reader where reads are denied", R, 0, 0, R, sR | sW, 0, ERROR_SHARING_VIOLATION},
        {"denying writes to a writer", W, sR, 0, R, sR, 0, ERROR_SHARING_VIOLATION},
        {"a reader that lets the writer be", W, sR, 0, R, sR | sW, 0, ERROR_SUCCESS},
        {"no data access does not deny", 0, 0, 0, R | W, 0, 0, ERROR_SUCCESS},
        {"no data access is not denied", R | W, 0, 0, 0, 0, 0, ERROR_SUCCESS},
        {"a delete-on-close probe denies reads", R, kShareAll, 0, 0, sD, doc, ERROR_SHARING_VIOLATION},
        {"deleting needs shared delete", R, sR | sW, 0, 0, kShareAll, doc, ERROR_SHARING_VIOLATION},
        {"denying delete to a deleter", R, kShareAll, doc, R, sR | sW, 0, ERROR_SHARING_VIOLATION},
        {"sharing delete with a deleter", R, kShareAll, doc, R, kShareAll, 0, ERROR_SUCCESS},
    };
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CString path = dir.Path((L"file" + std::to_wstring(number++)).c_str());
        WriteBytes(path, "content");
        Handle first = Open(path, c.access1, c.share1, OPEN_EXISTING, c.flags1);
        ASSERT_TRUE(first.Valid());
        EXPECT_EQ(OpenError(path, c.access2, c.share2, OPEN_EXISTING, c.flags2), c.error);
        // A refused open leaves nothing behind: once the first handle is gone, it succeeds.
        if (c.error != ERROR_SUCCESS && c.flags1 == 0) {
            first.Close();
            EXPECT_EQ(OpenError(path, c.access2, c.share2, OPEN_EXISTING, c.flags2), ERROR_SUCCESS);
        }
    }
}

#if !defined(_WIN32)
// fork() has no Windows counterpart; there the system enforces share modes across processes.
TEST(ShareModes, BindOtherProcesses) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const CString path = dir.Path(L"file");
    WriteBytes(path, "content");

    // A child holds the file open for writing, sharing reads, until the parent writes to the pipe.
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    const pid_t child = fork();
    if (child == 0) {
        HANDLE held = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char go = held != INVALID_HANDLE_VALUE ? 'y' : 'n';
        if (write(fromChild[1], &go, 1) != 1 || read(toChild[0], &go, 1) != 1) _exit(2);
        _exit(CloseHandle(held) ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    char opened = 0;
    ASSERT_EQ(read(fromChild[0], &opened, 1), 1);
    EXPECT_EQ(opened, 'y');
    EXPECT_EQ(OpenError(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(OpenError(path, GENERIC_WRITE, kShareAll, CREATE_ALWAYS), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadBytes(path), "content");

    ASSERT_EQ(write(toChild[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(OpenError(path, GENERIC_READ, 0, OPEN_EXISTING), ERROR_SUCCESS);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
}
#endif

TEST(DeleteOnClose, RemovesTheFileWhenTheHandleCloses) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const CString created = dir.Path(L"created");
    const CString existing = dir.Path(L"existing");
    WriteBytes(existing, "content");
    {
        Handle first = Open(created, GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        Handle second = Open(existing, 0, FILE_SHARE_DELETE, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE);
        ASSERT_TRUE(first.Valid() && second.Valid());
        EXPECT_TRUE(Exists(created) && Exists(existing));
    }
    EXPECT_FALSE(Exists(created));
    EXPECT_FALSE(Exists(existing));
}

TEST(DeleteOnClose, SparesAnotherFileThatTookTheName) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const CString path = dir.Path(L"file");
    {
        Handle handle = Open(path, GENERIC_WRITE, kShareAll, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        ASSERT_TRUE(handle.Valid());
        std::error_code error;
        std::filesystem::rename(cu::test::FsPath(path), dir.FsPath() / "moved", error);
        ASSERT_FALSE(error) << error.message();
        WriteBytes(path, "newcomer");
    }
    EXPECT_EQ(ReadBytes(path), "newcomer");
}

// The read-only attribute binds everybody, root included.
TEST(ReadOnlyFiles, AreNotOpenedForChange) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const CString path = dir.Path(L"file");
    WriteBytes(path, "content");
    cu::test::SetReadOnly(path);
    EXPECT_EQ(OpenError(path, GENERIC_READ, kShareAll, OPEN_EXISTING), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(path, 0, kShareAll, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    if (cu::test::RunningUnderWine())
        GTEST_SKIP() << "Wine leaves the read-only check to the host's permissions, which root passes";
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        SCOPED_TRACE(disposition);
        EXPECT_EQ(OpenError(path, GENERIC_WRITE, kShareAll, disposition), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(OpenError(path, GENERIC_READ, kShareAll, CREATE_ALWAYS), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadBytes(path), "content");
}

TEST(CloseHandle, RefusesHandlesThatAreNotOpen) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const HANDLE handle = CreateFileW(dir.Path(L"file"), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(handle));
    std::vector<HANDLE> invalid = {handle, nullptr};
#if !defined(_WIN32)
    // On Windows INVALID_HANDLE_VALUE is also the process's own pseudo handle, which closes.
    invalid.push_back(INVALID_HANDLE_VALUE);
#endif
    for (HANDLE h : invalid) {
        SetLastError(kUntouched);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(RootPath, JudgesWholePaths) {
    struct Case {
        const wchar_t* path;
        bool root;
    } cases[] = {
#if defined(_WIN32)
        {L"C:\\", true}, {L"\\", true}, {L"\\\\server\\share", true},
        {L"C:", false}, {L"C:\\Data", false}, {L"\\\\server\\share\\", false},
#else
        // One or more slashes name the root; a backslash is an ordinary character.
        {L"/", true}, {L"//", true}, {L"///", true},
        {L"/tmp", false}, {L"/tmp/", false}, {L"\\", false}, {L"C:/", false},
#endif
        {L"", false}, {L"file", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.path).ToUtf8());
        EXPECT_EQ(PathIsRootW(c.path) != FALSE, c.root);
    }
}

TEST(TempPath, ReportsTheSizeNeededWhenTheBufferIsShort) {
    const DWORD needed = GetTempPathW(0, nullptr);
    ASSERT_GT(needed, 1u);
    std::wstring buffer(needed + 8, L'#');
    EXPECT_EQ(GetTempPathW(needed - 1, &buffer[0]), needed);
    EXPECT_EQ(GetTempPathW(needed, &buffer[0]), needed - 1);
    EXPECT_EQ(buffer[needed - 1], L'\0');
    EXPECT_EQ(buffer[needed - 2], cu::platform::kPathDelimiter);
}

#if !defined(_WIN32)
TEST(TempPath, TakesTmpdirElseTmpWithTrailingSlash) {
    struct Case {
        const char* tmpdir;  // nullptr: unset
        const wchar_t* folder;
    } cases[] = {
        {nullptr, L"/tmp/"},
        {"", L"/tmp/"},
        {"/var/cache/work", L"/var/cache/work/"},
        {"/var/cache/work/", L"/var/cache/work/"},
        {"/d\xC3\xA9j\xC3\xA0", L"/d\u00E9j\u00E0/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
        cu::test::ScopedEnv env("TMPDIR", c.tmpdir);
        wchar_t buffer[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, buffer);
        EXPECT_EQ(CString(buffer, static_cast<int>(length)), c.folder);
    }
}
#endif

TEST(ModulePath, CutsThePathToTheBuffer) {
    wchar_t full[1024];
    const DWORD length = GetModuleFileNameW(nullptr, full, 1024);
    ASSERT_GT(length, 4u);
    ASSERT_LT(length, 1024u);
    EXPECT_EQ(cu::test::FsPath(full).stem().string(), "file_tests");

    struct Case {
        DWORD size;
        DWORD result;
        DWORD error;
    } cases[] = {
        {0, 0, ERROR_INSUFFICIENT_BUFFER},
        {5, 5, ERROR_INSUFFICIENT_BUFFER},
        {length, length, ERROR_INSUFFICIENT_BUFFER},
        {length + 1, length, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::wstring buffer(length + 8, L'#');
        SetLastError(kUntouched);
        EXPECT_EQ(GetModuleFileNameW(nullptr, &buffer[0], c.size), c.result);
        EXPECT_EQ(GetLastError(), c.error);
        // What was written is the beginning of the path; nothing beyond the buffer is touched.
        const DWORD kept = c.size == 0 ? 0 : (c.size <= length ? c.size - 1 : length);
        EXPECT_EQ(buffer.substr(0, kept), std::wstring(full, kept));
        EXPECT_EQ(buffer[c.size], L'#');
#if !defined(_WIN32)
        // Windows terminates the cut path as well; Wine does not.
        if (c.size > 0) EXPECT_EQ(buffer[kept], L'\0');
#endif
    }
    SetLastError(kUntouched);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1230), full, 1024), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
