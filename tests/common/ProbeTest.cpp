// The file and folder probes of CFileOperation, on real files in a folder made for each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/TempDir.h"

namespace {

using cu::test::ReadBytes;
using cu::test::TempDir;
using cu::test::WriteBytes;

void CreateHidden(const CString& path) {
    const HANDLE handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
}

// The names in a folder, sorted and joined by commas.
std::string Listing(const TempDir& dir, const wchar_t* sub = L"") {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.FsPath() / sub))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

TEST(Probes, AnswerForFilesFoldersAndMissingPaths) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    WriteBytes(dir.Path(L"file"), "x");
    WriteBytes(dir.Path(L"readonly"), "x");
    cu::test::SetReadOnly(dir.Path(L"readonly"));
    CreateHidden(dir.Path(L"hidden"));
    struct Case {
        const char* what;
        CString path;
        int file, folder, readOnly, hidden;
    } cases[] = {
        {"file", dir.Path(L"file"), 1, 0, 0, 0},
        {"folder", dir.Path(), 0, 1, 0, 0},
        {"folder with delimiter", dir.Path() + cu::platform::kPathDelimiter, 0, 1, 0, 0},
        {"read-only file", dir.Path(L"readonly"), 1, 0, 1, 0},
        {"hidden file", dir.Path(L"hidden"), 1, 0, 0, 1},
        {"missing", dir.Path(L"missing"), 0, 0, 0, 0},
        {"in a missing folder", dir.Path(L"missing/file"), 0, 0, 0, 0},
        {"empty path", CString(), 0, 0, 0, 0},
#if !defined(_WIN32)
        // A leading dot hides a name on POSIX only, and "." names the folder itself.
        {"dot name", dir.Path(L".profile"), 1, 0, 0, 1},
        {"the folder as \".\"", dir.Path(L"."), 0, 1, 0, 0},
#endif
    };
#if !defined(_WIN32)
    WriteBytes(dir.Path(L".profile"), "x");
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CFileOperation::IsFileAvailable(c.path), c.file);
        EXPECT_EQ(CFileOperation::IsDirAvailable(c.path), c.folder);
        EXPECT_EQ(CFileOperation::IsReadOnly(c.path), c.readOnly);
        EXPECT_EQ(CFileOperation::IsHidden(c.path), c.hidden);
    }
}

TEST(Probes, RestoreTheErrorMode) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const UINT original = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    EXPECT_EQ(CFileOperation::IsDirAvailable(dir.Path()), 1);
    EXPECT_EQ(CFileOperation::IsDirWritable(dir.Path()), 1);
    EXPECT_EQ(SetErrorMode(original), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
}

#if !defined(_WIN32)
// Paths of 260 UTF-16 units and more exist only where the platform has no MAX_PATH: on Windows
// they cannot be made without the long-path prefix.

// Creates the folders of dir/ddd.../ddd.../name, a path of exactly `units` UTF-16 units, and
// returns it. The components between are made of fill (one character of one or two units) and
// hold at most 120 units, so that even four-byte UTF-8 characters stay within a name's 255 bytes.
CString MakeDeepPath(const TempDir& dir, int units, const wchar_t* name, const wchar_t* fill) {
    CString path = dir.Path();
    const int fillUnits = CString(fill).GetUtf16Length();
    int remaining = units - path.GetUtf16Length() - 1 - CString(name).GetUtf16Length();
    while (remaining > 0) {
        int take = remaining < 121 ? remaining : 121;  // a slash and up to 120 units
        if (remaining - take == 1) --take;            // never leave one unit for a slash alone
        int room = take - 1;
        CString component;
        if (room % fillUnits != 0) {
            component += L'd';
            --room;
        }
        for (; room > 0; room -= fillUnits) component += fill;
        path += L'/';
        path += component;
        std::filesystem::create_directory(cu::test::FsPath(path));
        remaining -= take;
    }
    return path + L'/' + name;
}

TEST(Probes, PathsBeyond260UnitsAreNotProbed) {
    struct Case {
        const char* what;
        int units;
        const wchar_t* fill;
        int expected;
    } cases[] = {
        {"260 units", 260, L"d", 1},
        {"261 units", 261, L"d", 0},
        {"261 units, fewer wchar_t", 261, L"\U0001F600", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ASSERT_TRUE(dir.Valid());
        const CString file = MakeDeepPath(dir, c.units, L"f", c.fill);
        ASSERT_EQ(file.GetUtf16Length(), c.units);
        WriteBytes(file, "x");
        ASSERT_TRUE(cu::test::Exists(file));
        cu::test::SetReadOnly(file);
        EXPECT_EQ(CFileOperation::IsFileAvailable(file), c.expected);
        EXPECT_EQ(CFileOperation::IsReadOnly(file), c.expected);

        const CString folder = MakeDeepPath(dir, c.units, L"g", c.fill);
        std::filesystem::create_directory(cu::test::FsPath(folder));
        EXPECT_EQ(CFileOperation::IsDirAvailable(folder), c.expected);
    }
}
#endif

TEST(IsDirWritable, ProbesWithANewFileAndLeavesNothing) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    EXPECT_EQ(CFileOperation::IsDirWritable(dir.Path()), 1);
    EXPECT_EQ(CFileOperation::IsDirWritable(dir.Path() + cu::platform::kPathDelimiter), 1);
    EXPECT_EQ(Listing(dir), "");
}

TEST(IsDirWritable, NeverTouchesExistingProbeNames) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    WriteBytes(dir.Path(L"0.uen"), "zero");
    WriteBytes(dir.Path(L"1.uen"), "one");
    cu::test::SetReadOnly(dir.Path(L"1.uen"));
    EXPECT_EQ(CFileOperation::IsDirWritable(dir.Path()), 1);
    EXPECT_EQ(ReadBytes(dir.Path(L"0.uen")), "zero");
    EXPECT_EQ(ReadBytes(dir.Path(L"1.uen")), "one");
    EXPECT_EQ(Listing(dir), "0.uen,1.uen");
}

TEST(IsDirWritable, NoForFilesMissingFoldersAndAFolderOnTheProbeName) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    WriteBytes(dir.Path(L"file"), "x");
    std::filesystem::create_directories(dir.FsPath() / "blocked" / "0.uen");
    struct Case {
        const char* what;
        CString path;
    } cases[] = {
        {"a file", dir.Path(L"file")},
        {"a missing folder", dir.Path(L"missing")},
        {"a sub-folder named 0.uen", dir.Path(L"blocked")},
        {"empty path", CString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CFileOperation::IsDirWritable(c.path), 0);
    }
    EXPECT_EQ(Listing(dir, L"blocked"), "0.uen");
}

#if !defined(_WIN32)
TEST(IsDirWritable, NoWhereNobodyCreatesFiles) {
    // Nobody, root included, creates files in /proc.
    EXPECT_EQ(CFileOperation::IsDirAvailable(L"/proc"), 1);
    EXPECT_EQ(CFileOperation::IsDirWritable(L"/proc"), 0);
}

TEST(IsDirWritable, NoWithoutWritePermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root creates files in folders without write permission";
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    std::filesystem::create_directory(dir.FsPath() / "locked");
    cu::test::SetReadOnly(dir.Path(L"locked"));
    EXPECT_EQ(CFileOperation::IsDirWritable(dir.Path(L"locked")), 0);
}

// A folder path of more than 256 units cannot be joined with the probe name; a shorter one whose
// probe name would pass MAX_PATH is not probed either. Such folders only exist without MAX_PATH.
TEST(IsDirWritable, NoForFoldersTooLongForTheProbeName) {
    struct Case {
        int units;
        int expected;
    } cases[] = {{250, 1}, {256, 0}, {257, 0}, {260, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        TempDir dir;
        ASSERT_TRUE(dir.Valid());
        const CString folder = MakeDeepPath(dir, c.units, L"w", L"d");
        std::filesystem::create_directory(cu::test::FsPath(folder));
        ASSERT_EQ(CFileOperation::IsDirAvailable(folder), 1);
        EXPECT_EQ(CFileOperation::IsDirWritable(folder), c.expected);
        EXPECT_TRUE(std::filesystem::is_empty(cu::test::FsPath(folder)));
    }
}
#endif

}  // namespace
