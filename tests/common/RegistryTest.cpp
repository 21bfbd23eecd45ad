// Tests of CCommonRegistry and of the registry functions under it: the library's own store on
// POSIX, the real (Wine's) registry on Windows; and of the POSIX store as a file.
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include "support/Process.h"
#endif

#include "commonutility/Registry.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using namespace cu::test;

wchar_t* W(const CString& text) { return const_cast<wchar_t*>(text.GetString()); }

// A unique key under Software\CommonUtilityTests in both roots, removed afterwards. On POSIX the
// store itself is a fresh temporary folder.
class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() {
        std::random_device random;
        m_base.Format(L"Software\\CommonUtilityTests\\%u", static_cast<unsigned>(random()));
    }
    ~RegistryTest() override {
#if defined(_WIN32)
        RegDeleteTreeW(HKEY_CURRENT_USER, m_base);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_base);
#endif
    }
    CString Key(const wchar_t* sub) const { return m_base + L"\\" + sub; }

#if !defined(_WIN32)
    TempDir m_store;
    ScopedEnv m_env{"COMMONUTILITY_REGISTRY_DIR", m_store.FsPath().c_str()};
#endif
    CString m_base;
};

// GetInt32 reads four bytes or leaves the number; AddInt32 never creates a key. Key paths and value
// names match in any case: the value written through other spellings is the one made before, and
// reads back through a third.
TEST_F(RegistryTest, Int32ValuesAreFourBytesAndNamesIgnoreCase) {
    const CString key = Key(L"Numbers");
    const unsigned long long wide = 7;
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key, L"Seven", 7), ERROR_SUCCESS);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key, L"Minus", 0xFFFFFFFEu), ERROR_SUCCESS);
    ASSERT_EQ(WriteValue(HKEY_CURRENT_USER, key, L"Wide", REG_QWORD, &wide, sizeof wide), ERROR_SUCCESS);
    struct Case { const wchar_t* key; const wchar_t* name; int result; long number; } cases[] = {
        {L"Numbers", L"Seven", 1, 7},   {L"Numbers", L"Minus", 1, -2},
        {L"Numbers", L"Missing", 0, 42}, {L"Missing", L"Seven", 0, 42},
        {L"Numbers", L"Wide", 0, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << CString(c.key).ToUtf8() << " " << CString(c.name).ToUtf8());
        long number = 42;
        EXPECT_EQ(CCommonRegistry::GetInt32(HKEY_CURRENT_USER, W(Key(c.key)), const_cast<wchar_t*>(c.name), number), c.result);
        EXPECT_EQ(number, c.number);
    }

    EXPECT_EQ(CCommonRegistry::AddInt32(HKEY_CURRENT_USER, W(Key(L"Absent")), W(L"N"), 5), 0);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, Key(L"Absent"), L"N").error, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, Key(L"Mixed\\Case"), L"Value", 1), ERROR_SUCCESS);
    EXPECT_EQ(CCommonRegistry::AddInt32(HKEY_CURRENT_USER, W(Key(L"MIXED\\case")), W(L"vALUE"), -2), 1);
    const RawValue raw = ReadValue(HKEY_CURRENT_USER, Key(L"Mixed\\Case"), L"Value");
    EXPECT_EQ(raw.type, REG_DWORD);
    EXPECT_EQ(raw.data, (std::vector<BYTE>{0xFE, 0xFF, 0xFF, 0xFF}));
    long number = 0;
    EXPECT_EQ(CCommonRegistry::GetInt32(HKEY_CURRENT_USER, W(Key(L"mixed\\CASE")), W(L"value"), number), 1);
    EXPECT_EQ(number, -2);
}

// Texts are stored as UTF-16LE with their terminator and without embedded zero units; AddString
// writes and GetString reads at most 511 characters, and a refused read leaves the text alone.
TEST_F(RegistryTest, StringsAreUtf16LeWithinTheBuffer) {
    const CString key = Key(L"Strings");
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key, L"Created", 1), ERROR_SUCCESS);
    struct Case { CString text; std::vector<BYTE> bytes; CString readBack; } cases[] = {
        {L"", {0, 0}, L""},
        {CString(L"a\0b", 3), {'a', 0, 'b', 0, 0, 0}, L"ab"},
        {L"\U0001F600", {0x3D, 0xD8, 0x00, 0xDE, 0, 0}, L"\U0001F600"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readBack.ToUtf8());
        ASSERT_EQ(CCommonRegistry::AddString(HKEY_CURRENT_USER, W(key), W(L"Text"), c.text), 1);
        const RawValue raw = ReadValue(HKEY_CURRENT_USER, key, L"Text");
        EXPECT_EQ(raw.type, REG_SZ);
        EXPECT_EQ(raw.data, c.bytes);
        CString text = L"old";
        EXPECT_EQ(CCommonRegistry::GetString(HKEY_CURRENT_USER, W(key), W(L"Text"), text), 1);
        EXPECT_EQ(text, c.readBack);
    }

    const CString longest(L'x', 511);
    EXPECT_EQ(CCommonRegistry::AddString(HKEY_CURRENT_USER, W(key), W(L"Fits"), longest), 1);
    EXPECT_EQ(CCommonRegistry::AddString(HKEY_CURRENT_USER, W(key), W(L"TooLong"), CString(L'x', 512)), 0);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key, L"TooLong").error, ERROR_FILE_NOT_FOUND);

    const std::vector<BYTE> bytes(1202, 'y');  // 600 characters and the zero unit
    ASSERT_EQ(WriteValue(HKEY_CURRENT_USER, key, L"Six", REG_SZ, bytes.data(), 1202), ERROR_SUCCESS);
    CString text = L"old";
    EXPECT_EQ(CCommonRegistry::GetString(HKEY_CURRENT_USER, W(key), W(L"Six"), text), 0);
    EXPECT_EQ(text, L"old");
    EXPECT_EQ(CCommonRegistry::GetString(HKEY_CURRENT_USER, W(key), W(L"Fits"), text), 1);
    EXPECT_EQ(text, longest);
}

// The platform functions as callers of the interface use them, identical on both platforms.
TEST_F(RegistryTest, HandlesRightsAndSizesAsOnWindows) {
    const CString key = Key(L"Raw");
    const DWORD number = 0x01020304;
    ASSERT_EQ(WriteValue(HKEY_CURRENT_USER, key, L"N", REG_DWORD, &number, 4), ERROR_SUCCESS);
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(readOnly, L"N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_ACCESS_DENIED);
    BYTE small[2];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(readOnly, L"N", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);

    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345678));
    EXPECT_EQ(RegSetValueExW(bogus, L"N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);

    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key + L"\\Child", L"N", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, key), ERROR_ACCESS_DENIED);  // it has a sub-key
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, key + L"\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, key + L"\\Child", L"N").error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(HKEY_CURRENT_USER, L"no such value"), ERROR_FILE_NOT_FOUND);
}

// Values are made in name order, since Windows lists them in the order they were made.
TEST_F(RegistryTest, EnumeratesSubKeysAndValuesAsOnWindows) {
    const CString key = Key(L"Enum");
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key + L"\\beta", L"N", 1), ERROR_SUCCESS);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key + L"\\Alpha", L"N", 1), ERROR_SUCCESS);
    ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, key, L"Count", 42), ERROR_SUCCESS);
    ASSERT_EQ(WriteValue(HKEY_CURRENT_USER, key, L"Text", REG_SZ, "h\0i\0\0\0", 6), ERROR_SUCCESS);
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened), ERROR_SUCCESS);

    // Each call starts with a name buffer of the given size and a data buffer of dataSize bytes.
    wchar_t name[16];
    DWORD nameSize = 0, type = 0, size = 0;
    BYTE data[8];
    auto enumKey = [&](DWORD index, DWORD nameRoom = 16) {
        nameSize = nameRoom;
        return RegEnumKeyExW(opened, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    };
    auto enumValue = [&](DWORD index, DWORD dataSize) {
        nameSize = 16;
        size = dataSize;
        return RegEnumValueW(opened, index, name, &nameSize, nullptr, &type, data, &size);
    };
    ASSERT_EQ(enumKey(0), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, nameSize), L"Alpha");
    ASSERT_EQ(enumKey(1), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, nameSize), L"beta");
    EXPECT_EQ(enumKey(2), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(enumKey(0, 5), ERROR_MORE_DATA);  // no room for the terminator

    EXPECT_EQ(enumValue(1, 2), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    ASSERT_EQ(enumValue(1, sizeof data), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, nameSize), L"Text");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::memcmp(data, "h\0i\0\0\0", 6), 0);
    EXPECT_EQ(enumValue(2, sizeof data), ERROR_NO_MORE_ITEMS);
    RegCloseKey(opened);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &opened), ERROR_SUCCESS);
    EXPECT_EQ(enumKey(0), ERROR_ACCESS_DENIED);
    RegCloseKey(opened);
}

TEST_F(RegistryTest, AddInitToolValueExtendsTheListOnce) {
    const CString machineKey = Key(L"Machine");
    ASSERT_EQ(WriteDword(HKEY_LOCAL_MACHINE, machineKey, L"Created", 1), ERROR_SUCCESS);
    // tool: the machine-wide string (null: missing); count: -1 for no count value; added: the entry at
    // the old count afterwards (null: none).
    struct Case { const wchar_t* tool; int count; std::vector<CString> entries; CString text; int result, countAfter;
                  const wchar_t* added; } cases[] = {
        {L"Found", 2, {L"A", L"B"}, L"B", 1, 2, nullptr},
        {L"OtherCase", 2, {L"A", L"B"}, L"b", 1, 3, L"b"},
        {L"NoCount", -1, {}, L"x", 0, -1, nullptr},
        {L"Zero", 0, {}, L"x", 1, 0, nullptr},
        {L"FailedReads", 2, {}, L"", 1, 2, nullptr},  // the empty text before any read matches
        {nullptr, 2, {L"A", L"B"}, L"C", 0, 2, nullptr},
    };
    auto item = [](int i) { return CString((L"Item" + std::to_wstring(i)).c_str()); };
    for (const Case& c : cases) {
        const CString name((L"Tool" + std::to_wstring(&c - cases)).c_str());
        SCOPED_TRACE(name.ToUtf8());
        if (c.tool != nullptr)
            ASSERT_EQ(CCommonRegistry::AddString(HKEY_LOCAL_MACHINE, W(machineKey), W(name), c.tool), 1);
        const CString list = Key(L"Lists\\") + (c.tool ? c.tool : L"Missing") + L"\\List";
        ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, list, L"Other", 0), ERROR_SUCCESS);
        if (c.count >= 0) ASSERT_EQ(WriteDword(HKEY_CURRENT_USER, list, L"ItemCount", c.count), ERROR_SUCCESS);
        for (std::size_t i = 0; i < c.entries.size(); ++i)
            ASSERT_EQ(CCommonRegistry::AddString(HKEY_CURRENT_USER, W(list), W(item(static_cast<int>(i))), c.entries[i]),
                      1);

        EXPECT_EQ(CCommonRegistry::AddInitToolValue(W(machineKey), W(name), W(Key(L"Lists")), nullptr,
                                                    W(L"List"), W(L"Item"), c.text),
                  c.result);
        long count = -1;
        CCommonRegistry::GetInt32(HKEY_CURRENT_USER, W(list), W(L"ItemCount"), count);
        EXPECT_EQ(count, c.countAfter);
        CString added = L"(none)";
        CCommonRegistry::GetString(HKEY_CURRENT_USER, W(list), W(item(c.count)), added);
        EXPECT_EQ(added, c.added != nullptr ? CString(c.added) : CString(L"(none)"));
    }
}

#if !defined(_WIN32)
// The POSIX store as a file among others: read from where it cannot be written, damaged on disk,
// and written by processes at once and by processes that are killed. Windows keeps its registry
// itself.
using RegistryStore = RegistryTest;

const wchar_t kKey[] = L"Software\\CommonUtilityTests\\Store";

LONG WriteNumber(const wchar_t* name, DWORD number) { return WriteDword(HKEY_CURRENT_USER, kKey, name, number); }

LONG ReadError(const wchar_t* name) { return ReadValue(HKEY_CURRENT_USER, kKey, name).error; }

bool HasNumber(const wchar_t* name, DWORD number) {
    const RawValue value = ReadValue(HKEY_CURRENT_USER, kKey, name);
    return value.error == ERROR_SUCCESS && value.type == REG_DWORD && value.data == DwordBytes(number);
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

// Another user reads a store in a folder that user cannot write. Reading needs no new file and
// leaves none.
TEST_F(RegistryStore, ReadsWhereTheStoreCannotBeWritten) {
    ASSERT_EQ(WriteNumber(L"Flag", 0x41), ERROR_SUCCESS);
    const std::set<std::string> before = Entries(m_store.FsPath());
    EXPECT_EQ(ExitStatusWithoutWriteAccess(m_store.Path(), [] {
                  return HasNumber(L"Flag", 0x41) && ReadError(L"Other") == ERROR_FILE_NOT_FOUND ? 0 : 1;
              }), 0);
    EXPECT_EQ(Entries(m_store.FsPath()), before);
}

// A store whose pages are damaged is not written into: writes fail with ERROR_REGISTRY_CORRUPT
// and the damage stays as it was found.
TEST_F(RegistryStore, DamagedStoreRefusesWrites) {
    ASSERT_EQ(WriteNumber(L"A", 1), ERROR_SUCCESS);
    const std::string path = (m_store.FsPath() / "registry.db").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master"
                           " WHERE name = 'sqlite_sequence'", -1, &query, nullptr);
    ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
    const long page = sqlite3_column_int(query, 0), pageSize = sqlite3_column_int(query, 1);
    sqlite3_finalize(query);
    sqlite3_close(db);

    // The page's type byte becomes one that no b-tree page has.
    const int file = open(path.c_str(), O_WRONLY);
    ASSERT_GE(file, 0);
    const unsigned char bad = 0xFF;
    ASSERT_EQ(pwrite(file, &bad, 1, (page - 1) * pageSize + (page == 1 ? 100 : 0)), 1);
    close(file);

    EXPECT_EQ(WriteNumber(L"B", 2), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(WriteNumber(L"A", 3), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(ReadError(L"B"), ERROR_FILE_NOT_FOUND);
}

// A writer killed at any moment loses nothing it has committed: each value the child reported as
// written (through a pipe, after the call returned) reads back.
TEST_F(RegistryStore, KilledWritersLoseNoCommittedValue) {
    std::mt19937 random(11);
    int next = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        const int first = next;
        const pid_t child = Spawn([&]() -> int {
            close(channel[0]);
            for (int i = first;; ++i) {
                if (WriteNumber((L"V" + std::to_wstring(i)).c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS) return 1;
                if (write(channel[1], &i, sizeof i) != sizeof i) return 1;
            }
        });
        ASSERT_GE(child, 0);
        close(channel[1]);
        // The kill comes at a random moment after the first write, however slow writes are.
        int reported = 0;
        const bool wrote = read(channel[0], &reported, sizeof reported) == sizeof reported;
        const timespec pause{0, static_cast<long>(random() % 50000000)};  // up to 50 ms
        nanosleep(&pause, nullptr);
        kill(child, SIGKILL);
        ExitStatus(child);
        ASSERT_TRUE(wrote);
        do {
            ASSERT_TRUE(HasNumber((L"V" + std::to_wstring(reported)).c_str(), static_cast<DWORD>(reported)))
                << reported;
            next = reported + 1;
        } while (read(channel[0], &reported, sizeof reported) == sizeof reported);
        close(channel[0]);
    }
    EXPECT_GE(next, 20);  // every child wrote
    EXPECT_EQ(WriteNumber(L"After", 7), ERROR_SUCCESS);  // and the store is still usable
    EXPECT_TRUE(HasNumber(L"After", 7));
}

// Processes writing one key at once: every value lands whole, and the store stays sound.
TEST_F(RegistryStore, SeveralProcessesWriteOneKeyAtOnce) {
    constexpr int kProcesses = 4, kValues = 25;
    constexpr DWORD kSize = 3000;
    auto name = [](int process, int value) { return L"P" + std::to_wstring(process) + L"V" + std::to_wstring(value); };
    auto pattern = [](int process, int value) {
        std::vector<BYTE> bytes(kSize);
        for (DWORD i = 0; i < kSize; ++i) bytes[i] = static_cast<BYTE>(process * 31 + value * 7 + i);
        return bytes;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p)
        children.push_back(Spawn([&] {
            for (int v = 0; v < kValues; ++v)
                if (WriteValue(HKEY_CURRENT_USER, kKey, name(p, v).c_str(), REG_BINARY, pattern(p, v).data(), kSize) !=
                    ERROR_SUCCESS)
                    return 1;
            return 0;
        }));
    for (pid_t child : children) EXPECT_EQ(ExitStatus(child), 0);
    for (int p = 0; p < kProcesses; ++p)
        for (int v = 0; v < kValues; ++v) {
            const RawValue raw = ReadValue(HKEY_CURRENT_USER, kKey, name(p, v).c_str());
            EXPECT_TRUE(raw.error == ERROR_SUCCESS && raw.type == REG_BINARY && raw.data == pattern(p, v)) << p << v;
        }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((m_store.FsPath() / "registry.db").c_str(), &db), SQLITE_OK);
    std::string check;
    sqlite3_exec(db, "PRAGMA integrity_check", [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "";
        return 0;
    }, &check, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(check, "ok");
}
#endif

}  // namespace
