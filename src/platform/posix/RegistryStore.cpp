// The SQLite store behind the registry on POSIX: its file, its schema, the folding of names, and
// the connection that each registry call opens and closes.
//
// The store is the file "registry.db" in $COMMONUTILITY_REGISTRY_DIR, else in
// $XDG_CONFIG_HOME/commonutility, else in ~/.config/commonutility. It is created, with its folder,
// by the first write. Every call opens its own connection and closes it before it returns: a
// connection never outlives a call, so a child made by fork() and a change of the environment
// variable between calls are both safe. Each write is one IMMEDIATE transaction with a rollback
// journal and synchronous=FULL, so it is whole and durable once the call returns; other processes
// wait for it up to kBusyTimeoutMs. Not WAL: a WAL store cannot be read without creating its
// "-shm" and "-wal" files, so it could not be read from a read-only mount or by another user who
// may not write the folder, and a reader who may would leave files of its own there.
//
// Schema: keys(id, parent, name, folded) with one row per key, the roots being rows 1 to 6 (the
// predefined handle's number + 1) with parent 0; values(key, name, folded, type, data). "folded"
// is the name in the upper case that comparisons use, "name" the name as it was first written.
#include "platform/posix/RegistryStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "platform/Unicode.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kSchemaVersion = 1;
constexpr std::size_t kMaxKeyNameUnits = 255;
constexpr std::size_t kMaxValueNameUnits = 16383;

// The upper case that name comparisons use: ASCII, Latin-1, basic Greek and Cyrillic letters.
char32_t FoldChar(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

Name MakeName(const wchar_t* begin, const wchar_t* end) {
    Name name;
    char bytes[4];
    for (const wchar_t* p = begin; p < end;) {
        const char32_t c = DecodeWide(p, end);
        name.text.append(bytes, EncodeUtf8(c, bytes));
        name.folded.append(bytes, EncodeUtf8(FoldChar(c), bytes));
    }
    return name;
}

std::size_t WideLength(const wchar_t* text) {
    std::size_t length = 0;
    if (text != nullptr)
        while (text[length] != L'\0') ++length;
    return length;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

DWORD SplitKeyPath(const wchar_t* path, std::vector<Name>& parts) {
    const std::size_t length = WideLength(path);
    if (length > 0 && IsSeparator(path[0])) return ERROR_BAD_PATHNAME;
    for (std::size_t start = 0; start < length;) {
        std::size_t end = start;
        while (end < length && !IsSeparator(path[end])) ++end;
        if (end > start) {
            if (Utf16Length(path + start, end - start) > kMaxKeyNameUnits) return ERROR_INVALID_PARAMETER;
            parts.push_back(MakeName(path + start, path + end));
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

DWORD ValueName(const wchar_t* text, Name& name) {
    const std::size_t length = WideLength(text);
    if (Utf16Length(text, length) > kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
    name = MakeName(text, text + length);
    return ERROR_SUCCESS;
}

std::string StorePath() {
    std::string folder;
    if (const char* dir = std::getenv("COMMONUTILITY_REGISTRY_DIR"); dir != nullptr && *dir != '\0') {
        folder = dir;
    } else if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        folder = std::string(config) + "/commonutility";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::string(home) + "/.config/commonutility";
    } else {
        return std::string();
    }
    return folder + "/registry.db";
}

DWORD ErrorFromSqlite(int result) {
    switch (result & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW: return ERROR_SUCCESS;
        case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
        case SQLITE_FULL: return ERROR_DISK_FULL;
        case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return ERROR_REGISTRY_CORRUPT;
        case SQLITE_IOERR: return ERROR_REGISTRY_IO_FAILED;
        default: return ERROR_GEN_FAILURE;
    }
}

Store::~Store() {
    if (m_db == nullptr) return;
    if (m_inTransaction) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(m_db);
}

DWORD Store::OpenForReading(const std::string& path, bool& missing) {
    missing = false;
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        missing = errno == ENOENT || errno == ENOTDIR;
        return missing ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno);
    }
    DWORD error = Open(path, SQLITE_OPEN_READWRITE);
    if (error == ERROR_SUCCESS) error = Exec("BEGIN");
    if (error == ERROR_SUCCESS) m_inTransaction = true;
    if (error == ERROR_SUCCESS && SchemaVersion() < kSchemaVersion) {
        missing = true;
        return ERROR_FILE_NOT_FOUND;
    }
    return error;
}

DWORD Store::OpenForWriting(const std::string& path) {
    DWORD error = MakeFolders(path.substr(0, path.rfind('/')));
    if (error == ERROR_SUCCESS) error = Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (error != ERROR_SUCCESS) return error;
    // Persistent in the file: a store made in WAL mode by an earlier version is turned back
    // here; one that another process holds busy stays so until a later write.
    sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    error = Exec("BEGIN IMMEDIATE");
    if (error != ERROR_SUCCESS) return error;
    m_inTransaction = true;
    // Nothing is written into a damaged store: the damage would spread.
    if (!PassesQuickCheck()) return ERROR_REGISTRY_CORRUPT;
    if (SchemaVersion() >= kSchemaVersion) return ERROR_SUCCESS;
    error = Exec(
        "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " parent INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,"
        " UNIQUE(parent, folded));"
        "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL,"
        " folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
        " PRIMARY KEY(key, folded)) WITHOUT ROWID;"
        "INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES"
        " (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
        " (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
        " (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
        " (4, 0, 'HKEY_USERS', 'HKEY_USERS'),"
        " (5, 0, 'HKEY_PERFORMANCE_DATA', 'HKEY_PERFORMANCE_DATA'),"
        " (6, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG');"
        "PRAGMA user_version=1;");
    return error;
}

DWORD Store::Commit() {
    const DWORD error = Exec("COMMIT");
    if (error == ERROR_SUCCESS) m_inTransaction = false;
    return error;
}

DWORD Store::KeyExists(sqlite3_int64 id) {
    Statement query(m_db, "SELECT 1 FROM keys WHERE id = ?");
    const int result = query.Bind(1, id).Step();
    if (result == SQLITE_ROW) return ERROR_SUCCESS;
    return result == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(result);
}

DWORD Store::Child(sqlite3_int64 parent, const Name& name, sqlite3_int64& id) {
    Statement query(m_db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    const int result = query.Bind(1, parent).Bind(2, name.folded).Step();
    if (result == SQLITE_ROW) {
        id = query.Int(0);
        return ERROR_SUCCESS;
    }
    return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(result);
}

DWORD Store::Walk(sqlite3_int64 from, const std::vector<Name>& parts, sqlite3_int64& id) {
    DWORD error = KeyExists(from);
    id = from;
    for (std::size_t i = 0; error == ERROR_SUCCESS && i < parts.size(); ++i) error = Child(id, parts[i], id);
    return error;
}

DWORD Store::AddChild(sqlite3_int64 parent, const Name& name, sqlite3_int64& id) {
    Statement insert(m_db, "INSERT INTO keys(parent, name, folded) VALUES (?, ?, ?)");
    const int result = insert.Bind(1, parent).Bind(2, name.text).Bind(3, name.folded).Step();
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    id = sqlite3_last_insert_rowid(m_db);
    return ERROR_SUCCESS;
}

DWORD Store::Open(const std::string& path, int flags) {
    const int result = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    // A store that cannot be opened for reading is one that is not there.
    if (result != SQLITE_OK)
        return result == SQLITE_CANTOPEN && (flags & SQLITE_OPEN_CREATE) == 0 ? ERROR_FILE_NOT_FOUND
                                                                             : ErrorFromSqlite(result);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return Exec("PRAGMA synchronous=FULL");
}

DWORD Store::Exec(const char* sql) { return ErrorFromSqlite(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr)); }

// SQLite's quick check: the structure of every page, without the cost of comparing indexes with
// their tables (a few milliseconds for a store of thousands of values).
bool Store::PassesQuickCheck() {
    Statement query(m_db, "PRAGMA quick_check(1)");
    if (query.Step() != SQLITE_ROW) return false;
    return query.Bytes(0) == 2 && std::memcmp(query.Blob(0), "ok", 2) == 0;
}

int Store::SchemaVersion() {
    Statement query(m_db, "PRAGMA user_version");
    return query.Step() == SQLITE_ROW ? static_cast<int>(query.Int(0)) : 0;
}

DWORD Store::MakeFolders(const std::string& folder) {
    if (folder.empty()) return ERROR_SUCCESS;
    struct stat status;
    if (stat(folder.c_str(), &status) == 0) return S_ISDIR(status.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    const DWORD error = MakeFolders(folder.substr(0, folder.rfind('/')));
    if (error != ERROR_SUCCESS) return error;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace cu::detail
