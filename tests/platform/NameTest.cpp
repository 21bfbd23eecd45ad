// File names whose bytes are not UTF-8: every name a search gives must name that same file.
#include <gtest/gtest.h>

// POSIX only: Windows names are UTF-16 text, so there are no bytes that fail to decode.
#if !defined(_WIN32)
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/TempDir.h"

namespace {

// The names a search of the folder gives, without "." and "..".
std::map<std::wstring, DWORD> Search(const CString& folder) {
    std::map<std::wstring, DWORD> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(folder + L"/*", &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names[name] = found.nFileSizeLow;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Bytes that are not UTF-8 (a lone 0xFF, a cut sequence, an encoded surrogate, an overlong form)
// beside a real U+FFFD: each opens as itself, and removing the folder removes every one.
TEST(PosixNames, BytesThatAreNotUtf8NameTheirOwnFiles) {
    cu::test::TempDir dir;
    const std::string base = dir.FsPath().string() + "/names";
    ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
    const std::string raw[] = {"\xff.txt", "\xe2\x82.txt", "\xed\xa0\x80.txt", "\xc0\xaf.txt", "\xef\xbf\xbd.txt",
                               "caf\xc3\xa9.txt"};
    // Files made under names given as bytes, bypassing the library, each holding its name.
    for (const std::string& name : raw) std::ofstream(base + "/" + name, std::ios::binary) << name;
    ASSERT_EQ(mkdir((base + "/\xfe").c_str(), 0755), 0);
    std::ofstream(base + "/\xfe/\xfd", std::ios::binary) << "inner";

    const CString folder = dir.Path(L"names");
    const std::map<std::wstring, DWORD> names = Search(folder);
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names.count(L"\xDCFF.txt"), 1u);
    EXPECT_EQ(names.count(L"\uFFFD.txt"), 1u);
    EXPECT_EQ(names.count(L"caf\u00e9.txt"), 1u);
    std::set<std::string> contents;
    for (const auto& [name, size] : names) {
        SCOPED_TRACE(CString(name.c_str()).ToUtf8());
        const CString path = folder + L"/" + name.c_str();
        const DWORD attributes = GetFileAttributesW(path);
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            EXPECT_EQ(Search(path).count(L"\xDCFD"), 1u);
            continue;
        }
        // Each file holds its own name's bytes: the name the search gave opened that very file.
        const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char content[32] = {};
        DWORD read = 0;
        ReadFile(file, content, sizeof content, &read, nullptr);
        CloseHandle(file);
        EXPECT_EQ(read, size);
        contents.insert(std::string(content, read));
    }
    EXPECT_EQ(contents, std::set<std::string>(std::begin(raw), std::end(raw)));
    // The one with the real U+FFFD goes alone.
    ASSERT_TRUE(DeleteFileW(folder + L"/\uFFFD.txt"));
    EXPECT_EQ(Search(folder).size(), 6u);
    EXPECT_EQ(Search(folder).count(L"\xDCFF.txt"), 1u);

    CString removed = folder;
    EXPECT_EQ(CFileOperation::RemoveFolder(removed), 1);
    struct stat status;
    EXPECT_NE(stat(base.c_str(), &status), 0);
}

}  // namespace
#endif
