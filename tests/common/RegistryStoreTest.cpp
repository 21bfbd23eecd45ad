// The POSIX registry store as a file among others: read from where it cannot be written, damaged
// on disk, and written by processes at once and by processes that are killed.
#include <gtest/gtest.h>

// POSIX only: the store is the library's own SQLite file; Windows keeps its registry itself.
#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "commonutility/Registry.h"
#include "platform/win32.h"
#include "support/Process.h"
#include "support/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using namespace cu::test;

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

class RegistryStore : public ::testing::Test {
protected:
    RegistryStore() { std::filesystem::create_directory(m_folder); }
    TempDir m_dir;
    std::filesystem::path m_folder = m_dir.FsPath() / "store";
    ScopedEnv m_env{"COMMONUTILITY_REGISTRY_DIR", m_folder.c_str()};
};

// Another user reads a store in a folder that user cannot write. Reading needs no new file and
// leaves none.
TEST_F(RegistryStore, ReadsWhereTheStoreCannotBeWritten) {
    ASSERT_EQ(WriteNumber(L"Flag", 0x41), ERROR_SUCCESS);
    const std::set<std::string> before = Entries(m_folder);
    EXPECT_EQ(ExitStatusWithoutWriteAccess(m_folder, [] {
                  return HasNumber(L"Flag", 0x41) && ReadError(L"Other") == ERROR_FILE_NOT_FOUND ? 0 : 1;
              }), 0);
    EXPECT_EQ(Entries(m_folder), before);
}

// A store whose pages are damaged is not written into: writes fail with ERROR_REGISTRY_CORRUPT
// and the damage stays as it was found.
TEST_F(RegistryStore, DamagedStoreRefusesWrites) {
    ASSERT_EQ(WriteNumber(L"A", 1), ERROR_SUCCESS);
    const std::string path = (m_folder / "registry.db").string();
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
                wchar_t name[32];
                swprintf(name, 32, L"V%d", i);
                if (WriteNumber(name, static_cast<DWORD>(i)) != ERROR_SUCCESS) return 1;
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
            wchar_t name[32];
            swprintf(name, 32, L"V%d", reported);
            ASSERT_TRUE(HasNumber(name, static_cast<DWORD>(reported))) << reported;
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
    ASSERT_EQ(sqlite3_open((m_folder / "registry.db").c_str(), &db), SQLITE_OK);
    std::string check;
    sqlite3_exec(db, "PRAGMA integrity_check", [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "";
        return 0;
    }, &check, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(check, "ok");
}

}  // namespace
#endif
