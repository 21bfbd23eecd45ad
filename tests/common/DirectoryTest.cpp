// The file and folder helpers and probes of CFileOperation (attributes, creating and removing files
// and folders, free space, time stamps, version resources) and the platform calls beneath them, on
// real files in a folder made for each test. Under Wine the same expectations meet the real
// functions.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "common/FolderEntry.h"
#include "commonutility/DateTime.h"
#include "commonutility/FileOperation.h"
#include "platform/Scoped.h"
#include "platform/win32.h"
#include "support/LastError.h"
#include "support/Printers.h"
#include "support/TempDir.h"
#include "support/Wine.h"

namespace {

using namespace cu::test;
namespace fs = std::filesystem;

constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter;

// The sample program with file version 2.1.0.7 (tests/data/version). The Windows build makes it
// from its sources; elsewhere the copy that build made is read.
const CString kVersionSample(COMMONUTILITY_VERSION_SAMPLE);

CString Join(const TempDir& dir, const wchar_t* relative) {
    CString path = dir.Path() + kDelimiter + relative;
    for (int i = 0; i < path.GetLength(); ++i)
        if (path.GetAt(i) == L'|') path.SetAt(i, kDelimiter);
    return path;
}

TEST(Attributes, ReadOnlyComesAndGoesAndHiddenStays) {
    TempDir dir;
    const CString path = dir.Path(L"file");
    WriteBytes(path, "content");
    if (!CFileOperation::SetHidden(path))
        GTEST_SKIP() << "the file system keeps no hidden attribute (no user extended attributes)";
    CFileOperation file(path);
    EXPECT_EQ(CFileOperation::IsHidden(path), 1);
    EXPECT_EQ(file.IsReadOnly(), 0);
    EXPECT_NE(CFileOperation::SetReadOnly(path, 1), 0);
    EXPECT_EQ(file.IsReadOnly(), 1);
    EXPECT_EQ(CFileOperation::IsHidden(path), 1);
    // Wine leaves the read-only check of an open to the host's permissions, which root passes.
    if (!RunningUnderWine()) EXPECT_EQ(file.Open(GENERIC_WRITE, OPEN_EXISTING), 0);
    EXPECT_NE(CFileOperation::SetReadOnly(path, 0), 0);
    EXPECT_EQ(file.IsReadOnly(), 0);
    EXPECT_EQ(CFileOperation::IsHidden(path), 1);
    EXPECT_EQ(file.Open(GENERIC_WRITE, OPEN_EXISTING), 1);
    file.Close();
    EXPECT_EQ(ReadBytes(path), "content");

    for (const CString& bad : {dir.Path(L"missing"), dir.Path() + kDelimiter + CString(L'a', 261 - dir.Path().GetLength() - 1)}) {
        SCOPED_TRACE(bad.ToUtf8());
        EXPECT_EQ(CFileOperation::SetReadOnly(bad, 1), 0);
        EXPECT_EQ(CFileOperation::SetHidden(bad), 0);
    }
}

TEST(Files, CreateNewFileEmptiesAndRemoveFileSparesReadOnlyAndHeldFiles) {
    TempDir dir;
    const CString path = dir.Path(L"file");
    WriteBytes(path, "old content");
    EXPECT_EQ(CFileOperation::CreateNewFile(path), 1);
    EXPECT_EQ(ReadBytes(path), "");
    EXPECT_EQ(CFileOperation::CreateNewFile(dir.Path(L"missing") + kDelimiter + L"file"), 0);

    SetReadOnly(path);
    EXPECT_FAILS_WITH(CFileOperation::RemoveFile(path), ERROR_ACCESS_DENIED);  // root too
    SetReadOnly(path, false);
    CFileOperation holder(path);
    ASSERT_EQ(holder.Open(GENERIC_READ, OPEN_EXISTING), 1);
    EXPECT_FAILS_WITH(CFileOperation::RemoveFile(path), ERROR_SHARING_VIOLATION);
    holder.Close();
    EXPECT_NE(CFileOperation::RemoveFile(path), 0);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(CFileOperation::RemoveFile(path), 0);
}

// The folder calls answer with the Windows errors: 183 for an existing folder, 3 for a missing
// parent, 145 for a folder with entries, 267 for a file; searches list "." and ".." too.
TEST(Folders, PlatformCallsGiveWindowsErrorsAndSearchesListDots) {
    TempDir dir;
    const CString sub = Join(dir, L"sub");
    ASSERT_TRUE(CreateDirectoryW(sub, nullptr));
    WriteBytes(Join(dir, L"sub|file.txt"), "12345");
    WriteBytes(Join(dir, L"sub|noext"), "");
    EXPECT_FAILS_WITH(CreateDirectoryW(sub, nullptr), ERROR_ALREADY_EXISTS);
    EXPECT_FAILS_WITH(CreateDirectoryW(Join(dir, L"missing|sub"), nullptr), ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS_WITH(RemoveDirectoryW(sub), ERROR_DIR_NOT_EMPTY);
    EXPECT_FAILS_WITH(RemoveDirectoryW(Join(dir, L"sub|noext")), ERROR_DIRECTORY);

    for (const wchar_t* pattern : {L"sub|*.*", L"sub|*"}) {
        SCOPED_TRACE(CString(pattern).ToUtf8());
        WIN32_FIND_DATAW data;
        const HANDLE search = FindFirstFileW(Join(dir, pattern), &data);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        std::vector<std::wstring> names;
        do {
            names.push_back(data.cFileName);
            if (names.back() == L"file.txt") EXPECT_EQ(data.nFileSizeLow, 5u);
            EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, names.back()[0] == L'.');
        } while (FindNextFileW(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(search));
        EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"file.txt", L"noext"}));
    }
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(Join(dir, L"missing|*.*"), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Folders, MakeDirRecursivelyCreatesEveryLevelOnce) {
    TempDir dir;
    EXPECT_NE(CFileOperation::MakeDirRecursively(Join(dir, L"A|B|C")), 0);
    EXPECT_TRUE(fs::is_directory(dir.FsPath() / "A" / "B" / "C"));
    EXPECT_EQ(CFileOperation::MakeDirRecursively(Join(dir, L"A|B|C")), 0);
    EXPECT_NE(CFileOperation::MakeDirRecursively(Join(dir, L"A|D|E|")), 0);  // trailing delimiter
    EXPECT_TRUE(fs::is_directory(dir.FsPath() / "A" / "D" / "E"));
    EXPECT_EQ(CFileOperation::MakeDir(Join(dir, L"A")), 0);
    EXPECT_EQ(CFileOperation::MakeDir(Join(dir, L"X|Y")), 0);
    EXPECT_NE(CFileOperation::MakeDir(Join(dir, L"X")), 0);

    // A relative path's first component is never created.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.FsPath());
    const CString relative = CString(L"R") + kDelimiter + L"S";
    EXPECT_EQ(CFileOperation::MakeDirRecursively(relative), 0);
    EXPECT_FALSE(fs::exists(dir.FsPath() / "R"));
    fs::current_path(previous);
}

TEST(Folders, RemoveFolderRemovesTreesAndKeepsReadOnlyFilesWithTheirFolders) {
    TempDir dir;
    for (const wchar_t* folder : {L"tree|a|b", L"tree|c", L"kept|x|y", L"kept|z"}) CFileOperation::MakeDirRecursively(Join(dir, folder));
    for (const wchar_t* file : {L"tree|f", L"tree|a|f", L"tree|a|b|f", L"tree|c|.hidden", L"kept|f", L"kept|x|y|locked", L"kept|z|f"})
        WriteBytes(Join(dir, file), "x");
    SetReadOnly(Join(dir, L"kept|x|y|locked"));

    CString tree = Join(dir, L"tree");
    EXPECT_EQ(CFileOperation::RemoveFolder(tree), 1);
    EXPECT_EQ(tree, Join(dir, L"tree"));
    EXPECT_FALSE(Exists(tree));

    CString kept = Join(dir, L"kept");
    EXPECT_EQ(CFileOperation::RemoveFolder(kept), 0);  // root too
    EXPECT_TRUE(Exists(Join(dir, L"kept|x|y|locked")));
    EXPECT_FALSE(Exists(Join(dir, L"kept|f")));
    EXPECT_FALSE(Exists(Join(dir, L"kept|z")));

    CString file = Join(dir, L"kept|x|y|locked");
    EXPECT_EQ(CFileOperation::RemoveFolder(file), 0);
    EXPECT_TRUE(Exists(file));
}

// A folder removal goes into plain folders and reparse points that hold content of their own, and
// never into links and junctions, nor into a reparse point whose tag is unknown (0).
TEST(Folders, RemovalEntersEverySubfolderButLinks) {
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD kReparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const struct Case { const char* what; DWORD attributes, tag; bool enters; } cases[] = {
        {"plain folder", kFolder, 0, true},
        {"plain folder, stray tag", kFolder, IO_REPARSE_TAG_SYMLINK, true},
        {"symbolic link", kReparse, IO_REPARSE_TAG_SYMLINK, false},
        {"junction", kReparse, IO_REPARSE_TAG_MOUNT_POINT, false},
        {"container layer link", kReparse, 0xA0000027u, false},
        {"no tag", kReparse, 0, false},
        {"cloud-file placeholder", kReparse, 0x9000001Au, true},
        {"cloud-file placeholder, sub-tag", kReparse, 0x9000A01Au, true},
        {"deduplicated", kReparse, 0x80000013u, true},
        {"hierarchical storage", kReparse, 0xC0000004u, true},
        {"another vendor's tag", kReparse, 0x00001234u, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WIN32_FIND_DATAW entry{};
        entry.dwFileAttributes = c.attributes;
        entry.dwReserved0 = c.tag;
        EXPECT_EQ(cu::detail::EntersSubfolder(entry), c.enters);
    }
}

#if !defined(_WIN32)
// Symbolic links are the only reparse points on POSIX: a search tags every link as one, also a
// dangling one, and nothing else. A folder removal takes the links away and leaves what they point
// to. (Wine gives links made outside it no tag; its links are the host's.)
TEST(Folders, SearchesTagSymbolicLinksAndRemovalSparesTheirTargetsOnPosix) {
    TempDir dir;
    fs::create_directories(dir.FsPath() / "tree" / "folder");
    fs::create_directory(dir.FsPath() / "outside");
    WriteBytes(Join(dir, L"outside|f"), "x");
    WriteBytes(Join(dir, L"tree|file"), "x");
    fs::create_directory_symlink(dir.FsPath() / "outside", dir.FsPath() / "tree" / "folderlink");
    fs::create_symlink(dir.FsPath() / "outside" / "f", dir.FsPath() / "tree" / "filelink");
    fs::create_symlink(dir.FsPath() / "missing", dir.FsPath() / "tree" / "dangling");

    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(Join(dir, L"tree|*"), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    int links = 0;
    do {
        const std::wstring name(data.cFileName);
        SCOPED_TRACE(CString(name.c_str()).ToUtf8());
        const bool link = name == L"folderlink" || name == L"filelink" || name == L"dangling";
        links += link ? 1 : 0;
        EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, link);
        EXPECT_EQ(data.dwReserved0, link ? IO_REPARSE_TAG_SYMLINK : 0u);
        if (name == L"folderlink") EXPECT_FALSE(cu::detail::EntersSubfolder(data));
    } while (FindNextFileW(search, &data));
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(links, 3);
    CString tree = Join(dir, L"tree");
    EXPECT_EQ(CFileOperation::RemoveFolder(tree), 1);
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(Exists(Join(dir, L"outside|f")));
}
#endif

TEST(FileTimes, FoldersHaveNoneAndFilesGiveLocalTimeNow) {
    TempDir dir;
    const CString path = dir.Path(L"file");
    WriteBytes(path, "x");
    SYSTEMTIME time{};
    time.wYear = 1234;
    EXPECT_EQ(CFileOperation::GetFileCreateTime(dir.Path(), time), 0);
    EXPECT_EQ(CFileOperation::GetFileLastWriteTime(dir.Path(L"missing"), time), 0);
    EXPECT_EQ(time.wYear, 1234);
    for (int creation = 0; creation < 2; ++creation) {
        SCOPED_TRACE(creation);
        ASSERT_NE(creation ? CFileOperation::GetFileCreateTime(path, time) : CFileOperation::GetFileLastWriteTime(path, time), 0);
        COleDateTime stamp;
        ASSERT_EQ(stamp.SetDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond), 1);
        EXPECT_LT(std::abs(stamp.m_dt - CCommonDateTime::GetNow().m_dt) * 86400, 120.0);
    }
}

TEST(FileTimes, FileTimeToSystemTimeCountsFrom1601) {
    using Fields = std::array<WORD, 8>;  // year, month, day, day of week, hour, minute, second, ms
    const struct { std::uint64_t ticks; Fields fields; } cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116444736000000000ull, {1970, 1, 1, 4, 0, 0, 0, 0}},
        {133536384007890000ull + 36000000000ull * 13 + 600000000ull * 14 + 10000000ull * 15,
         {2024, 2, 29, 4, 13, 14, 15, 789}},
        {0x7FFFFFFFFFFFFFFFull, {30828, 9, 14, 4, 2, 48, 5, 477}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        const FILETIME time{static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
        SYSTEMTIME f{};
        ASSERT_TRUE(FileTimeToSystemTime(&time, &f));
        EXPECT_EQ((Fields{f.wYear, f.wMonth, f.wDay, f.wDayOfWeek, f.wHour, f.wMinute, f.wSecond, f.wMilliseconds}),
                  c.fields);
    }
    const FILETIME beyond{0, 0x80000000u};
    SYSTEMTIME fields{};
    EXPECT_FALSE(FileTimeToSystemTime(&beyond, &fields));
}

TEST(DiscSize, AvailableBytesOfAFolder) {
    TempDir dir;
    ULARGE_INTEGER available{};
    EXPECT_NE(CFileOperation::GetAvailableDiscSize(dir.Path(), &available), 0);
    EXPECT_GT(available.QuadPart, 0u);
    EXPECT_EQ(CFileOperation::GetAvailableDiscSize(dir.Path(L"missing"), &available), 0);
    EXPECT_EQ(CFileOperation::GetAvailableDiscSize(dir.Path(), nullptr), 0);
}

TEST(Version, NumbersAndTextOfTheVersionResource) {
    TempDir dir;
    WriteBytes(dir.Path(L"plain.exe"), "MZ not really a program");
    EXPECT_EQ(CFileOperation::GetFileVersion(kVersionSample), L"2.1.0.7");
    // Through the one translation, English with code page 1200: \StringFileInfo\040904b0.
    EXPECT_EQ(CFileOperation::GetFileInfo(kVersionSample), L"2.1.0.7 sample");
    for (const CString& none : {dir.Path(L"plain.exe"), dir.Path(L"missing.exe"), dir.Path()}) {
        SCOPED_TRACE(none.ToUtf8());
        EXPECT_EQ(CFileOperation::GetFileVersion(none), L"");
        EXPECT_EQ(CFileOperation::GetFileInfo(none), L"");
    }
    EXPECT_EQ(CFileOperation::GetFileInfo(nullptr), L"");
}

#if !defined(_WIN32)
// The POSIX reader of PE files on prefixes of the sample and with bytes changed, in its headers
// (the first kilobyte) and in its resource section (the last 512 bytes): a clean answer, never a
// crash (the sanitizer build checks every read). Windows reads with its own reader.
TEST(Version, DamagedFilesFailCleanly) {
    TempDir dir;
    const std::string sample = ReadBytes(kVersionSample);
    const std::size_t tail = sample.size() - 512;
    ASSERT_NE(sample.find(std::string("V\0S\0_\0V\0E\0R", 11), tail), std::string::npos);
    const CString path = dir.Path(L"damaged.exe");
    // A cut file has the whole version or none; a changed byte may change the numbers too.
    auto check = [&](const std::string& bytes, bool cut) {
        WriteBytes(path, bytes);
        const CString version = CFileOperation::GetFileVersion(path);
        if (cut) EXPECT_TRUE(version.IsEmpty() || version == L"2.1.0.7") << version.ToUtf8();
        CFileOperation::GetFileInfo(path);
    };
    for (std::size_t at = 0; at < sample.size(); at += at < 1024 ? 2 : at < tail ? 512 : 1) {
        SCOPED_TRACE(at);
        check(sample.substr(0, at), true);
        std::string changed = sample;
        changed[at] = static_cast<char>(~changed[at]);
        check(changed, false);
    }
}
#endif

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
    for (const wchar_t* name : {L"0.uen", L"1.uen", L"file", L"readonly"}) WriteBytes(dir.Path(name), "x");
    for (const wchar_t* name : {L"1.uen", L"readonly"}) SetReadOnly(dir.Path(name));
    ASSERT_TRUE(cu::platform::ScopedFile(CreateFileW(dir.Path(L"hidden"), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                     FILE_ATTRIBUTE_HIDDEN, nullptr)).IsValid());
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
    EXPECT_EQ(ReadBytes(dir.Path(L"0.uen")) + ReadBytes(dir.Path(L"1.uen")), "xx");
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
