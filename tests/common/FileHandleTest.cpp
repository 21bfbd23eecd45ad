// The file object of CFileOperation: opening, sizes, whole-file text, block reads and writes, and
// the size query by path, on real files in a folder made for each test.
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

}  // namespace
