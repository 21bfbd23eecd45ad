// The POSIX registry store as a file among others: read from where it cannot be written, damaged
// on disk, and written by processes that are killed.
#include <gtest/gtest.h>

// POSIX only: the store is the library's own SQLite file; Windows keeps its registry itself.
#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "commonutility/Registry.h"
#include "platform/win32.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

const wchar_t kKey[] = L"Software\\CommonUtilityTests\\Store";

LONG WriteNumber(const wchar_t* name, DWORD number) {
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    return error;
}

LONG ReadNumber(const wchar_t* name, DWORD& number) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key);
    if (error != ERROR_SUCCESS) return error;
    DWORD size = sizeof number, type = REG_NONE;
    error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
    RegCloseKey(key);
    return error;
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

class RegistryStore : public ::testing::Test {
protected:
    RegistryStore() { std::filesystem::create_directory(m_folder); }
    cu::test::TempDir m_dir;
    std::filesystem::path m_folder = m_dir.FsPath() / "store";
    cu::test::ScopedEnv m_env{"COMMONUTILITY_REGISTRY_DIR", m_folder.c_str()};
};

// Another user reads a store in a folder that user cannot write (for root: a child that becomes
// nobody; otherwise the folder loses its write bits). Reading needs no new file and leaves none.
TEST_F(RegistryStore, ReadsWhereTheStoreCannotBeWritten) {
    ASSERT_EQ(WriteNumber(L"Flag", 0x41), ERROR_SUCCESS);
    const std::set<std::string> before = Entries(m_folder);
    const bool root = geteuid() == 0;
    using std::filesystem::perms;
    const perms readOnly = perms::all & ~(perms::owner_write | perms::group_write | perms::others_write);
    std::filesystem::permissions(m_folder, readOnly);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        DWORD number = 0;
        const LONG error = ReadNumber(L"Flag", number);
        DWORD missing = 0;
        const LONG absent = ReadNumber(L"Other", missing);
        _exit(error == ERROR_SUCCESS && number == 0x41 && absent == ERROR_FILE_NOT_FOUND ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::filesystem::permissions(m_folder, perms::owner_all, std::filesystem::perm_options::add);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
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
    DWORD number = 0;
    EXPECT_EQ(ReadNumber(L"B", number), ERROR_FILE_NOT_FOUND);
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
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(channel[0]);
            for (int i = first;; ++i) {
                wchar_t name[32];
                swprintf(name, 32, L"V%d", i);
                if (WriteNumber(name, static_cast<DWORD>(i)) != ERROR_SUCCESS) _exit(1);
                if (write(channel[1], &i, sizeof i) != sizeof i) _exit(1);
            }
        }
        close(channel[1]);
        // The kill comes at a random moment after the first write, however slow writes are.
        int reported = 0;
        const bool wrote = read(channel[0], &reported, sizeof reported) == sizeof reported;
        const timespec pause{0, static_cast<long>(random() % 50000000)};  // up to 50 ms
        nanosleep(&pause, nullptr);
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(wrote);
        do {
            wchar_t name[32];
            swprintf(name, 32, L"V%d", reported);
            DWORD number = 0;
            ASSERT_EQ(ReadNumber(name, number), ERROR_SUCCESS) << reported;
            ASSERT_EQ(number, static_cast<DWORD>(reported));
            next = reported + 1;
        } while (read(channel[0], &reported, sizeof reported) == sizeof reported);
        close(channel[0]);
    }
    EXPECT_GE(next, 20);  // every child wrote
    DWORD number = 0;
    EXPECT_EQ(WriteNumber(L"After", 7), ERROR_SUCCESS);  // and the store is still usable
    EXPECT_EQ(ReadNumber(L"After", number), ERROR_SUCCESS);
}

}  // namespace
#endif
