// The file object and the path helpers of CFileOperation. The object: opening, sizes, whole-file
// text, block reads and writes, and the size query by path, on real files in a folder made for each
// test. The paths: splitting, the folder part, joining, trailing delimiters and the length limits,
// which count UTF-16 code units; one table serves Windows and POSIX: in it '\\' stands for the
// platform's delimiter and '/' for the other platform's, and WIN_POSIX picks the expectation where
// the platforms differ.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/TempDir.h"

namespace {

using namespace cu::test;

// Whether another opener that shares nothing gets in, that is, whether nobody holds the file.
bool Unheld(const CString& path) {
    const HANDLE handle = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

TEST(FileHandle, GetSizeOpensForItselfAndClosesAgain) {
    TempDir dir;
    const CString path = dir.Path(L"ten");
    WriteBytes(path, "0123456789");

    CFileOperation closed(path);
    EXPECT_EQ(closed.GetSize(), 10);
    EXPECT_TRUE(Unheld(path));
    EXPECT_EQ(CFileOperation(dir.Path(L"missing")).GetSize(), 0);

    // An open object answers from its handle and keeps it; share mode 0 keeps others out, and so
    // a closed object's own open fails while it is held.
    CFileOperation open(path);
    ASSERT_EQ(open.Open(GENERIC_READ, OPEN_EXISTING), 1);
    EXPECT_EQ(open.GetSize(), 10);
    EXPECT_FALSE(Unheld(path));
    EXPECT_EQ(closed.GetSize(), 0);
    // A copy of an open object is closed and leaves the handle to its original.
    CFileOperation copy(open);
    EXPECT_EQ(copy.GetSize(), 0);
    EXPECT_EQ(open.Close(), 1);
    EXPECT_TRUE(Unheld(path));
    EXPECT_EQ(copy.GetSize(), 10);
}

TEST(FileHandle, ReadStringNeedsAnOpenObjectAndStopsAtAZeroByte) {
    // text: the text argument afterwards, "unchanged" as it started.
    struct Case { const char* what; std::string bytes; bool open; int result; const wchar_t* text; } cases[] = {
        {"closed", "hello", false, 0, L"unchanged"},
        {"open", "hello\r\nworld", true, 1, L"hello\r\nworld"},
        {"empty", "", true, 0, L"unchanged"},
        {"zero byte", std::string("abc\0def", 7), true, 1, L"abc"},
        {"leading zero byte", std::string("\0abc", 4), true, 1, L""},
#if !defined(_WIN32)
        // The ANSI code page is UTF-8 on POSIX.
        {"UTF-8", "caf\xC3\xA9", true, 1, L"caf\u00e9"},
#endif
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CString path = dir.Path(L"text");
        WriteBytes(path, c.bytes);
        CFileOperation file(path);
        if (c.open) ASSERT_EQ(file.Open(GENERIC_READ, OPEN_EXISTING), 1);
        // Twice in a row: each read starts at the beginning.
        for (int round = 0; round < (c.result != 0 ? 2 : 1); ++round) {
            CString text(L"unchanged");
            EXPECT_EQ(file.ReadString(text) != 0, c.result != 0);
            EXPECT_EQ(text, c.text);
        }
    }
}

TEST(FileHandle, ReadAndWriteFlushAlwaysWorkAtTheStart) {
    TempDir dir;
    const CString path = dir.Path(L"blocks");
    WriteBytes(path, "0123456789");

    CFileOperation file(path);
    char buffer[16] = {};
    __int64 done = -1;
    EXPECT_EQ(file.Read(buffer, 4, &done), 0);  // closed: nothing happens
    EXPECT_EQ(done, -1);
    ASSERT_EQ(file.Open(GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING), 1);
    EXPECT_EQ(file.Read(nullptr, 4, &done), 0);
    EXPECT_EQ(done, -1);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_NE(file.Read(buffer, 4, &done), 0);
        EXPECT_EQ(done, 4);
        EXPECT_EQ(std::string(buffer, 4), "0123");
    }
    EXPECT_NE(file.Read(buffer, 8, nullptr), 0);
    EXPECT_NE(file.WriteFlush("abc", 3, &done), 0);
    EXPECT_EQ(done, 3);
    EXPECT_NE(file.WriteFlush("ABC", 3, &done), 0);
    // Past the end a read moves what there is.
    EXPECT_NE(file.Read(buffer, 16, &done), 0);
    EXPECT_EQ(done, 10);
    ASSERT_EQ(file.Close(), 1);
    EXPECT_EQ(ReadBytes(path), "ABC3456789");

    // The access of the open decides: no reading through a handle opened for writing only, no
    // writing through one opened for reading.
    ASSERT_EQ(file.Open(GENERIC_WRITE, OPEN_EXISTING), 1);
    done = -1;
    EXPECT_EQ(file.Read(buffer, 4, &done), 0);
    EXPECT_EQ(done, 0);
    file.Close();
    ASSERT_EQ(file.Open(GENERIC_READ, OPEN_EXISTING), 1);
    EXPECT_EQ(file.WriteFlush("x", 1, &done), 0);
    EXPECT_EQ(done, 0);
    file.Close();
    EXPECT_EQ(ReadBytes(path), "ABC3456789");
}

TEST(FileSize, StaticQueryGivesSizesAbove4GiBWhileTheFileIsOpen) {
    TempDir dir;
    const CString path = dir.Path(L"sparse");
    WriteBytes(path, "");
    constexpr unsigned __int64 kSize = (5ull << 30) + 3;
    std::error_code error;
    std::filesystem::resize_file(FsPath(path), kSize, error);
    if (error) GTEST_SKIP() << "the file system takes no sparse file of 5 GiB: " << error.message();

    CFileOperation holder(path);
    ASSERT_EQ(holder.Open(GENERIC_READ, OPEN_EXISTING), 1);
    unsigned __int64 size = 0;
    EXPECT_EQ(CFileOperation::GetFileSize(path, size), 1);
    EXPECT_EQ(size, kSize);
    EXPECT_EQ(holder.GetSize(), static_cast<__int64>(kSize));
    // Too big for one read of the whole text.
    CString text(L"unchanged");
    EXPECT_EQ(holder.ReadString(text), 0);
    EXPECT_EQ(text, L"unchanged");
    holder.Close();

    size = 7;
    EXPECT_EQ(CFileOperation::GetFileSize(dir.Path(L"missing"), size), 0);
    EXPECT_EQ(size, 0u);
}

#if defined(_WIN32)
#define WIN_POSIX(windows, posix) windows
#else
#define WIN_POSIX(windows, posix) posix
#endif
constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter, kForeign = WIN_POSIX(L'/', L'\\');
const wchar_t* const kAstral = L"\U0001F600";  // two UTF-16 units, one wchar_t where it is UTF-32

CString Native(const CString& text) {
    std::wstring native = text.str();
    for (wchar_t& ch : native) ch = ch == L'\\' ? kDelimiter : ch == L'/' ? kForeign : ch;
    return CString(std::move(native));
}

CString Repeat(const wchar_t* ch, int count) {
    CString text;
    for (int i = 0; i < count; ++i) text += ch;
    return text;
}

// Concatenate of the parts before and after the '|'.
CString Join(const CString& parts) {
    const int bar = parts.Find(L'|');
    return CFileOperation::Concatenate(parts.Left(bar), parts.Mid(bar + 1));
}

struct Case { const char* operation; CString (*apply)(const CString&); CString path; CString expected; };
#define OP(name) #name, &CFileOperation::name
#define TRIM(name) #name, [](const CString& path) { CString trimmed(path); CFileOperation::name(trimmed); return trimmed; }
#define JOIN "Concatenate", &Join

template <std::size_t N>
void Check(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " of " + Native(c.path).ToUtf8());
        EXPECT_EQ(c.apply(Native(c.path)), Native(c.expected));
    }
}

TEST(PathRules, SplitJoinTrimAndLimits) {
    const CString d(L'\\'), n255 = Repeat(L"n", 255), p256 = Repeat(L"p", 256);
    const Case cases[] = {
        {OP(GetRootPath), L"C:\\Data\\clip.mp4", WIN_POSIX(L"C:\\", L"")},
        {OP(GetRootPathWithoutDelimiter), L"C:\\Data\\clip.mp4", WIN_POSIX(L"C:", L"")},
        {OP(GetRootPath), L"\\\\server\\share\\clip.mp4", L""},
        {OP(GetFileExt), L"\\Data\\archive.tar.gz", L".gz"},
        {OP(GetFileExt), L"\\Data.d\\README", L""},
        {OP(GetFileExt), L"\\home\\.profile", L".profile"},
        {OP(GetFileName), L"\\Data\\clip.mp4", L"clip"},
        {OP(GetFileName), L"\\Data\\", L""},
        {OP(GetFileFullName), L"\\Data\\clip.mp4", L"clip.mp4"},
        {OP(GetFileDir), L"\\Data\\clip.mp4", L"\\Data\\"},
        {OP(GetFileDir), L"\\Data\\Sub\\", L"\\Data\\"},
        {OP(GetFileDir), L"C:\\Data", L"C:\\"},
        {OP(GetFileDir), L"C:\\", L""},
        {OP(GetFileDir), L"\\", L""},
        {OP(GetFileDir), L"\\\\", L""},
        {OP(GetFileDir), L"\\\\server\\share", WIN_POSIX(L"", L"\\\\server\\")},
        {OP(GetFileDir), L"clip.mp4", L""},
        // Windows splits names at '/' as well, but takes no folder part there; on POSIX a backslash
        // is an ordinary character.
        {OP(GetFileFullName), L"C:/Data/clip.mp4", WIN_POSIX(L"clip.mp4", L"C:/Data/clip.mp4")},
        {OP(GetFileName), L"\\Data\\a/b.txt", WIN_POSIX(L"b", L"a/b")},
        {OP(GetFileDir), L"C:/Data/clip.mp4", L""},
        {TRIM(CutTailPathDelimiter), L"\\Data/", L"\\Data/"},
        {JOIN, L"\\Data|clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data\\|\\clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data|\\clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data\\|clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"|clip.mp4", L"\\clip.mp4"},
        {JOIN, L"\\Data|", L"\\Data\\"},
        {JOIN, L"\\Data\\\\|\\\\clip.mp4", L"\\Data\\\\\\clip.mp4"},
        {TRIM(CutTailPathDelimiter), L"\\Data\\\\", L"\\Data\\"},
        {TRIM(CutTailPathDelimiter), L"C:\\", L"C:"},
        {TRIM(AppendTailPathDelimiter), L"\\Data", L"\\Data\\"},
        {TRIM(AppendTailPathDelimiter), L"\\Data\\", L"\\Data\\"},
        {TRIM(AppendTailPathDelimiter), L"", L"\\"},
        // Splitting takes paths of at most 259 units, names and extensions of at most 255.
        {OP(GetFileFullName), Repeat(L"d", 253) + d + L"x.txt", L"x.txt"},
        {OP(GetFileName), Repeat(L"d", 254) + d + L"x.txt", L""},
        {OP(GetFileExt), Repeat(kAstral, 125) + L"dddd" + d + L"x.txt", L""},
        {OP(GetFileName), d + n255 + L".e", n255},
        {OP(GetFileExt), d + n255 + L"n.e", L""},
        {OP(GetFileExt), d + Repeat(kAstral, 128) + L".e", L""},
        {OP(GetFileExt), d + L"n." + Repeat(L"e", 254), L"." + Repeat(L"e", 254)},
        {OP(GetFileName), d + L"n." + Repeat(L"e", 255), L""},
        // Concatenate and AppendTailPathDelimiter take up to 256 units, CutTailPathDelimiter 260.
        {JOIN, p256 + L"|" + p256, p256 + d + p256},
        {JOIN, p256 + L"p|x", L""},
        {JOIN, L"x|" + Repeat(kAstral, 129), L""},
        {TRIM(AppendTailPathDelimiter), p256, p256 + d},
        {TRIM(AppendTailPathDelimiter), p256 + L"p", p256 + L"p"},
        {TRIM(AppendTailPathDelimiter), Repeat(kAstral, 129), Repeat(kAstral, 129)},
        {TRIM(CutTailPathDelimiter), Repeat(L"a", 259) + d, Repeat(L"a", 259)},
        {TRIM(CutTailPathDelimiter), Repeat(L"a", 260) + d, Repeat(L"a", 260) + d},
    };
    Check(cases);
}

TEST(FileObject, KeepsItsPathWithinTheLimit) {
    const CString path260 = Repeat(L"a", 256) + Repeat(kAstral, 2);  // 258 wchar_t where UTF-32
    CFileOperation file(CString(L"clip.mp4"));
    EXPECT_EQ(file.SetPath(path260), 1);
    EXPECT_EQ(file.SetPath(path260 + L"a"), 0);
    EXPECT_EQ(file.GetPath(), path260);  // a refused path leaves the one before
    EXPECT_EQ(file.IsReadOnly(), 0);     // no such file
    CFileOperation copy(file), assigned;
    assigned = copy;
    EXPECT_EQ(assigned.GetPath(), path260);
}

}  // namespace
