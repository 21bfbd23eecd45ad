// The file and folder probes of CFileOperation, on real files in a folder made for each test.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/TempDir.h"

namespace {

using namespace cu::test;

#if !defined(_WIN32)
const wchar_t* const kAstral5 = L"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600";  // 10 units

// dir/name stretched to `units` UTF-16 units by repeated slashes: POSIX has no MAX_PATH.
CString Stretch(const TempDir& dir, const CString& name, int units) {
    CString path = dir.Path();
    while (path.GetUtf16Length() + name.GetUtf16Length() < units) path += L'/';
    return path + name;
}
#endif

// IsDirWritable creates and removes the first free one of 0.uen, 1.uen, ...: existing files are
// never touched, and a folder on the probe name fails the probe.
TEST(Probes, AnswerForFilesFoldersMissingAndLongPaths) {
    TempDir dir;
    std::filesystem::create_directories(dir.FsPath() / "blocked" / "0.uen");
    WriteBytes(dir.Path(L"0.uen"), "zero");
    WriteBytes(dir.Path(L"1.uen"), "one");
    SetReadOnly(dir.Path(L"1.uen"));
    WriteBytes(dir.Path(L"file"), "x");
    WriteBytes(dir.Path(L"readonly"), "x");
    SetReadOnly(dir.Path(L"readonly"));
    const HANDLE hidden = CreateFileW(dir.Path(L"hidden"), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(hidden, INVALID_HANDLE_VALUE);
    CloseHandle(hidden);
    struct Case { const char* what; CString path; int file, folder, readOnly, hidden, writable; } cases[] = {
        {"file", dir.Path(L"file"), 1, 0, 0, 0, 0},
        {"folder", dir.Path(), 0, 1, 0, 0, 1},
        {"folder with delimiter", dir.Path() + cu::platform::kPathDelimiter, 0, 1, 0, 0, 1},
        {"folder holding a folder 0.uen", dir.Path(L"blocked"), 0, 1, 0, 0, 0},
        {"read-only file", dir.Path(L"readonly"), 1, 0, 1, 0, 0},
        {"hidden file", dir.Path(L"hidden"), 1, 0, 0, 1, 0},
        {"missing", dir.Path(L"missing"), 0, 0, 0, 0, 0},
        {"in a missing folder", dir.Path(L"missing/file"), 0, 0, 0, 0, 0},
        {"empty path", CString(), 0, 0, 0, 0, 0},
#if !defined(_WIN32)
        // A leading dot hides a name on POSIX only, and "." names the folder itself.
        {"dot name", dir.Path(L".profile"), 1, 0, 0, 1, 0},
        {"the folder as \".\"", dir.Path(L"."), 0, 1, 0, 0, 1},
        // Up to 260 UTF-16 units are probed; a folder is writable while its probe name, 6 units
        // more, stays within that.
        {"file, 260 units", Stretch(dir, L"readonly", 260), 1, 0, 1, 0, 0},
        {"file, 261 units", Stretch(dir, L"readonly", 261), 0, 0, 0, 0, 0},
        {"astral file, 260 units", Stretch(dir, kAstral5, 260), 1, 0, 0, 0, 0},
        {"astral file, 261 units", Stretch(dir, kAstral5, 261), 0, 0, 0, 0, 0},
        {"folder, 254 units", Stretch(dir, L".", 254), 0, 1, 0, 0, 1},
        {"folder, 255 units", Stretch(dir, L".", 255), 0, 1, 0, 0, 0},
        {"folder, 261 units", Stretch(dir, L".", 261), 0, 0, 0, 0, 0},
#endif
    };
#if !defined(_WIN32)
    WriteBytes(dir.Path(L".profile"), "x");
    WriteBytes(dir.Path(kAstral5), "x");
#endif
    // Each probe sets an error mode of its own for the call and puts the caller's back.
    const UINT original = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CFileOperation::IsFileAvailable(c.path), c.file);
        EXPECT_EQ(CFileOperation::IsDirAvailable(c.path), c.folder);
        EXPECT_EQ(CFileOperation::IsReadOnly(c.path), c.readOnly);
        EXPECT_EQ(CFileOperation::IsHidden(c.path), c.hidden);
        EXPECT_EQ(CFileOperation::IsDirWritable(c.path), c.writable);
    }
    EXPECT_EQ(SetErrorMode(original), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
    EXPECT_EQ(ReadBytes(dir.Path(L"0.uen")), "zero");
    EXPECT_EQ(ReadBytes(dir.Path(L"1.uen")), "one");
    EXPECT_FALSE(Exists(dir.Path(L"2.uen")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.FsPath() / "blocked"), {}), 1);
#if !defined(_WIN32)
    // Nobody, root included, creates files in /proc.
    EXPECT_EQ(CFileOperation::IsDirAvailable(L"/proc"), 1);
    EXPECT_EQ(CFileOperation::IsDirWritable(L"/proc"), 0);

    // A dangling link exists, as on Windows: the probe steps over it instead of failing on it.
    TempDir links;
    std::filesystem::create_symlink(links.FsPath() / "nowhere", links.FsPath() / "0.uen");
    EXPECT_EQ(CFileOperation::IsFileAvailable(links.Path(L"0.uen")), 1);
    EXPECT_EQ(CFileOperation::IsDirWritable(links.Path()), 1);
    EXPECT_FALSE(Exists(links.Path(L"1.uen")));
#endif
}

}  // namespace
