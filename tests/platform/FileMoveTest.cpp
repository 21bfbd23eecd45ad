// The file calls that loads and saves are built on: sizes, truncation and flushing of an open file,
// its information and final path, moves and replacements. Under Wine the same expectations are
// checked against the real functions.
#include <gtest/gtest.h>

#include <string>

#include "commonutility/FileOperation.h"
#include "platform/Scoped.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/TempDir.h"
#include "support/Wine.h"

namespace {

using namespace cu::test;
using cu::platform::ScopedFile;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
    SetLastError(0);
    EXPECT_FALSE(FlushFileBuffers(reader.Get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetEndOfFile(reader.Get()));
}

TEST(Moves, ReplaceOnlyWhenAskedAndNeverAReadOnlyFile) {
    TempDir dir;
    const CString from = dir.Path(L"from.txt"), to = dir.Path(L"to.txt"), locked = dir.Path(L"locked.txt");
    WriteBytes(from, "new");
    WriteBytes(to, "old");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExW(from, to, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadBytes(to), "old");

    // Windows refuses to replace a read-only file; Wine replaces it.
    if (!RunningUnderWine()) {
        WriteBytes(locked, "kept");
        SetReadOnly(locked);
        EXPECT_FALSE(MoveFileExW(from, locked, MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(ReadBytes(locked), "kept");
    }

    {
        // A source held open without shared deletion cannot move.
        const ScopedFile holder = Open(from, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(holder.IsValid());
        EXPECT_FALSE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    ASSERT_TRUE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadBytes(to), "new");
    EXPECT_FALSE(Exists(from));
    SetLastError(0);
    EXPECT_FALSE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
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
    SetLastError(0);
    EXPECT_FALSE(ReplaceFileW(dir.Path(L"missing.txt"), fresh, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
