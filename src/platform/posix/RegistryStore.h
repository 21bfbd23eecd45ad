// The SQLite store behind the registry on POSIX: key and value names as they are compared, and
// one connection with its transaction for the length of one registry call.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

#include "platform/posix/Win32Posix.h"

namespace cu::detail {

// A key or value name: as written, and in the upper case that comparisons use.
struct Name {
    std::string text;    // UTF-8 as given
    std::string folded;  // UTF-8 of the folded characters
};

// The components of a sub-key path. Separators are '\' and '/'; runs of them count as one and a
// trailing one is ignored, but a path may not start with one (ERROR_BAD_PATHNAME); a component
// has at most 255 UTF-16 units (ERROR_INVALID_PARAMETER).
DWORD SplitKeyPath(const wchar_t* path, std::vector<Name>& parts);

// A value name (null is the default value ""); at most 16383 UTF-16 units.
DWORD ValueName(const wchar_t* text, Name& name);

// The store's file as the environment names it now; empty when no folder can be found.
std::string StorePath();

DWORD ErrorFromSqlite(int result);

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_result = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(m_statement); }

    Statement& Bind(int index, sqlite3_int64 value) {
        if (m_result == SQLITE_OK) m_result = sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement& Bind(int index, const std::string& text) {
        if (m_result == SQLITE_OK)
            m_result = sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                                         SQLITE_STATIC);
        return *this;
    }
    Statement& BindBlob(int index, const void* data, int size) {
        // A zero-length blob, not NULL, when there are no bytes.
        if (m_result == SQLITE_OK)
            m_result = sqlite3_bind_blob(m_statement, index, size > 0 ? data : "", size, SQLITE_STATIC);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() {
        if (m_result != SQLITE_OK) return m_result;
        return sqlite3_step(m_statement);
    }
    sqlite3_int64 Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    const void* Blob(int column) const { return sqlite3_column_blob(m_statement, column); }
    int Bytes(int column) const { return sqlite3_column_bytes(m_statement, column); }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_result;
};

// One connection for the length of one call; rolls back a transaction that was not committed.
class Store {
public:
    Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store();

    // Opens the store for reading: ERROR_FILE_NOT_FOUND, and `missing`, when it has never been
    // written.
    DWORD OpenForReading(const std::string& path, bool& missing);
    // Opens the store, creating its folder and file when needed, and starts a write transaction.
    DWORD OpenForWriting(const std::string& path);
    DWORD Commit();

    sqlite3* Db() const { return m_db; }

    // ERROR_SUCCESS when the key row exists, else ERROR_KEY_DELETED.
    DWORD KeyExists(sqlite3_int64 id);
    // The child of `parent` named `name`: ERROR_FILE_NOT_FOUND when there is none.
    DWORD Child(sqlite3_int64 parent, const Name& name, sqlite3_int64& id);
    // The key that `parts` lead to from `from`.
    DWORD Walk(sqlite3_int64 from, const std::vector<Name>& parts, sqlite3_int64& id);
    DWORD AddChild(sqlite3_int64 parent, const Name& name, sqlite3_int64& id);

private:
    DWORD Open(const std::string& path, int flags);
    DWORD Exec(const char* sql);
    bool PassesQuickCheck();
    int SchemaVersion();
    static DWORD MakeFolders(const std::string& folder);

    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
};

}  // namespace cu::detail
