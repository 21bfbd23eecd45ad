// The registry for POSIX with Windows semantics: the Reg*W functions over one SQLite database
// per user, and the table of open key handles.
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
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Unicode.h"
#include "platform/posix/Internal.h"

namespace cu::detail {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kSchemaVersion = 1;
constexpr ULONG_PTR kFirstRoot = 0x80000000u;  // HKEY_CLASSES_ROOT
constexpr ULONG_PTR kLastRoot = 0x80000005u;   // HKEY_CURRENT_CONFIG
constexpr std::size_t kMaxKeyNameUnits = 255;
constexpr std::size_t kMaxValueNameUnits = 16383;

// ---- Open keys --------------------------------------------------------------------------------

// What an HKEY stands for: a key row in one store, and the rights it was opened with. The store
// is fixed when the key is opened.
struct KeyObject {
    std::string store;
    sqlite3_int64 id;
    REGSAM access;
};

struct KeyTable {
    std::mutex mutex;
    std::unordered_map<HKEY, std::unique_ptr<KeyObject>> keys;
};

// Never destroyed: keys may still be closed by static destructors at exit.
KeyTable& Keys() {
    static KeyTable* table = new KeyTable;
    return *table;
}

bool IsRoot(HKEY key) {
    const auto value = reinterpret_cast<ULONG_PTR>(key);
    return value >= kFirstRoot && value <= kLastRoot;
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

// A copy of the key behind a handle: a predefined root (resolved against the store that the
// environment names now), or an open key from the table. False for anything else.
bool Resolve(HKEY key, KeyObject& out) {
    if (IsRoot(key)) {
        out.store = StorePath();
        out.id = static_cast<sqlite3_int64>(reinterpret_cast<ULONG_PTR>(key) - kFirstRoot + 1);
        out.access = KEY_ALL_ACCESS;
        return !out.store.empty();
    }
    KeyTable& table = Keys();
    std::lock_guard<std::mutex> lock(table.mutex);
    const auto found = table.keys.find(key);
    if (found == table.keys.end()) return false;
    out = *found->second;
    return true;
}

HKEY Register(KeyObject key) {
    auto object = std::make_unique<KeyObject>(std::move(key));
    HKEY handle = reinterpret_cast<HKEY>(object.get());
    KeyTable& table = Keys();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.keys.emplace(handle, std::move(object));
    return handle;
}

// ---- Names --------------------------------------------------------------------------------------

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

struct Name {
    std::string text;    // UTF-8 as given
    std::string folded;  // UTF-8 of the folded characters
};

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

// The components of a sub-key path. Separators are '\' and '/'; runs of them count as one and a
// trailing one is ignored, but a path may not start with one.
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

// ---- The store ----------------------------------------------------------------------------------

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
    ~Store() {
        if (m_db == nullptr) return;
        if (m_inTransaction) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }

    // Opens the store for reading: ERROR_FILE_NOT_FOUND, and `missing`, when it has never been
    // written.
    DWORD OpenForReading(const std::string& path, bool& missing) {
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

    // Opens the store, creating its folder and file when needed, and starts a write transaction.
    DWORD OpenForWriting(const std::string& path) {
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

    DWORD Commit() {
        const DWORD error = Exec("COMMIT");
        if (error == ERROR_SUCCESS) m_inTransaction = false;
        return error;
    }

    sqlite3* Db() const { return m_db; }

    DWORD KeyExists(sqlite3_int64 id) {
        Statement query(m_db, "SELECT 1 FROM keys WHERE id = ?");
        const int result = query.Bind(1, id).Step();
        if (result == SQLITE_ROW) return ERROR_SUCCESS;
        return result == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(result);
    }

    // The child of `parent` named `name`: ERROR_FILE_NOT_FOUND when there is none.
    DWORD Child(sqlite3_int64 parent, const Name& name, sqlite3_int64& id) {
        Statement query(m_db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
        const int result = query.Bind(1, parent).Bind(2, name.folded).Step();
        if (result == SQLITE_ROW) {
            id = query.Int(0);
            return ERROR_SUCCESS;
        }
        return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(result);
    }

    DWORD Walk(sqlite3_int64 from, const std::vector<Name>& parts, sqlite3_int64& id) {
        DWORD error = KeyExists(from);
        id = from;
        for (std::size_t i = 0; error == ERROR_SUCCESS && i < parts.size(); ++i) error = Child(id, parts[i], id);
        return error;
    }

    DWORD AddChild(sqlite3_int64 parent, const Name& name, sqlite3_int64& id) {
        Statement insert(m_db, "INSERT INTO keys(parent, name, folded) VALUES (?, ?, ?)");
        const int result = insert.Bind(1, parent).Bind(2, name.text).Bind(3, name.folded).Step();
        if (result != SQLITE_DONE) return ErrorFromSqlite(result);
        id = sqlite3_last_insert_rowid(m_db);
        return ERROR_SUCCESS;
    }

private:
    DWORD Open(const std::string& path, int flags) {
        const int result = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        // A store that cannot be opened for reading is one that is not there.
        if (result != SQLITE_OK)
            return result == SQLITE_CANTOPEN && (flags & SQLITE_OPEN_CREATE) == 0 ? ERROR_FILE_NOT_FOUND
                                                                                 : ErrorFromSqlite(result);
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        return Exec("PRAGMA synchronous=FULL");
    }

    DWORD Exec(const char* sql) { return ErrorFromSqlite(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr)); }

    // SQLite's quick check: the structure of every page, without the cost of comparing indexes
    // with their tables (a few milliseconds for a store of thousands of values).
    bool PassesQuickCheck() {
        Statement query(m_db, "PRAGMA quick_check(1)");
        if (query.Step() != SQLITE_ROW) return false;
        return query.Bytes(0) == 2 && std::memcmp(query.Blob(0), "ok", 2) == 0;
    }

    int SchemaVersion() {
        Statement query(m_db, "PRAGMA user_version");
        return query.Step() == SQLITE_ROW ? static_cast<int>(query.Int(0)) : 0;
    }

    static DWORD MakeFolders(const std::string& folder) {
        if (folder.empty()) return ERROR_SUCCESS;
        struct stat status;
        if (stat(folder.c_str(), &status) == 0) return S_ISDIR(status.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
        const DWORD error = MakeFolders(folder.substr(0, folder.rfind('/')));
        if (error != ERROR_SUCCESS) return error;
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
};

// ---- The operations ------------------------------------------------------------------------------

DWORD InternalOpenKey(HKEY key, LPCWSTR subKey, REGSAM access, HKEY& result) {
    KeyObject parent;
    if (!Resolve(key, parent)) return ERROR_INVALID_HANDLE;
    std::vector<Name> parts;
    DWORD error = SplitKeyPath(subKey, parts);
    if (error != ERROR_SUCCESS) return error;
    KeyObject opened{parent.store, parent.id, access};
    Store store;
    bool missing = false;
    error = store.OpenForReading(parent.store, missing);
    // A root needs no store to be opened.
    if (missing && parts.empty() && IsRoot(key)) error = ERROR_SUCCESS;
    else if (error == ERROR_SUCCESS) error = store.Walk(parent.id, parts, opened.id);
    if (error != ERROR_SUCCESS) return error;
    result = Register(std::move(opened));
    return ERROR_SUCCESS;
}

DWORD InternalCreateKey(HKEY key, LPCWSTR subKey, REGSAM access, HKEY& result, DWORD& disposition) {
    KeyObject parent;
    if (!Resolve(key, parent)) return ERROR_INVALID_HANDLE;
    if (subKey == nullptr) return ERROR_BAD_PATHNAME;
    std::vector<Name> parts;
    DWORD error = SplitKeyPath(subKey, parts);
    if (error != ERROR_SUCCESS) return error;
    KeyObject made{parent.store, parent.id, access};
    disposition = REG_OPENED_EXISTING_KEY;
    Store store;
    error = store.OpenForWriting(parent.store);
    if (error == ERROR_SUCCESS) error = store.KeyExists(parent.id);
    for (std::size_t i = 0; error == ERROR_SUCCESS && i < parts.size(); ++i) {
        error = store.Child(made.id, parts[i], made.id);
        if (error != ERROR_FILE_NOT_FOUND) continue;
        if ((parent.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
        error = store.AddChild(made.id, parts[i], made.id);
        disposition = REG_CREATED_NEW_KEY;
    }
    if (error == ERROR_SUCCESS) error = store.Commit();
    if (error != ERROR_SUCCESS) return error;
    result = Register(std::move(made));
    return ERROR_SUCCESS;
}

DWORD InternalQueryValue(HKEY key, LPCWSTR valueName, DWORD* type, BYTE* data, DWORD* size) {
    KeyObject object;
    if (!Resolve(key, object)) return ERROR_INVALID_HANDLE;
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    if ((object.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Name name;
    DWORD error = ValueName(valueName, name);
    if (error != ERROR_SUCCESS) return error;
    Store store;
    bool missing = false;
    error = store.OpenForReading(object.store, missing);
    if (error == ERROR_SUCCESS) error = store.KeyExists(object.id);
    if (error != ERROR_SUCCESS) return error;
    Statement query(store.Db(), "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
    const int result = query.Bind(1, object.id).Bind(2, name.folded).Step();
    if (result != SQLITE_ROW) return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(result);
    const auto bytes = static_cast<DWORD>(query.Bytes(1));
    if (type != nullptr) *type = static_cast<DWORD>(query.Int(0));
    if (data != nullptr && *size < bytes) error = ERROR_MORE_DATA;
    else if (data != nullptr && bytes > 0) std::memcpy(data, query.Blob(1), bytes);
    if (size != nullptr) *size = bytes;
    return error;
}

DWORD InternalSetValue(HKEY key, LPCWSTR valueName, DWORD type, const BYTE* data, DWORD size) {
    KeyObject object;
    if (!Resolve(key, object)) return ERROR_INVALID_HANDLE;
    if ((object.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (data == nullptr && size != 0) return ERROR_NOACCESS;
    if (size > static_cast<DWORD>(INT32_MAX)) return ERROR_INVALID_PARAMETER;
    Name name;
    DWORD error = ValueName(valueName, name);
    if (error != ERROR_SUCCESS) return error;
    Store store;
    error = store.OpenForWriting(object.store);
    if (error == ERROR_SUCCESS) error = store.KeyExists(object.id);
    if (error != ERROR_SUCCESS) return error;
    // An existing value keeps the spelling of its name, as on Windows.
    Statement upsert(store.Db(),
                     "INSERT INTO vals(key, name, folded, type, data) VALUES (?, ?, ?, ?, ?)"
                     " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    const int result = upsert.Bind(1, object.id).Bind(2, name.text).Bind(3, name.folded).Bind(4, type)
                           .BindBlob(5, data, static_cast<int>(size)).Step();
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    return store.Commit();
}

DWORD InternalDeleteValue(HKEY key, LPCWSTR valueName) {
    KeyObject object;
    if (!Resolve(key, object)) return ERROR_INVALID_HANDLE;
    if ((object.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    Name name;
    DWORD error = ValueName(valueName, name);
    if (error != ERROR_SUCCESS) return error;
    {
        // Nothing to delete in a store that was never written: don't create it.
        Store reader;
        bool missing = false;
        error = reader.OpenForReading(object.store, missing);
        if (error != ERROR_SUCCESS) return error;
    }
    Store store;
    error = store.OpenForWriting(object.store);
    if (error == ERROR_SUCCESS) error = store.KeyExists(object.id);
    if (error != ERROR_SUCCESS) return error;
    Statement remove(store.Db(), "DELETE FROM vals WHERE key = ? AND folded = ?");
    const int result = remove.Bind(1, object.id).Bind(2, name.folded).Step();
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    if (sqlite3_changes(store.Db()) == 0) return ERROR_FILE_NOT_FOUND;
    return store.Commit();
}

DWORD InternalDeleteKey(HKEY key, LPCWSTR subKey) {
    KeyObject parent;
    if (!Resolve(key, parent)) return ERROR_INVALID_HANDLE;
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<Name> parts;
    DWORD error = SplitKeyPath(subKey, parts);
    if (error != ERROR_SUCCESS) return error;
    {
        // Nothing to delete in a store that was never written: don't create it.
        Store reader;
        bool missing = false;
        error = reader.OpenForReading(parent.store, missing);
        if (missing && parts.empty() && IsRoot(key)) return ERROR_ACCESS_DENIED;
        if (error != ERROR_SUCCESS) return error;
    }
    Store store;
    sqlite3_int64 id = 0;
    error = store.OpenForWriting(parent.store);
    if (error == ERROR_SUCCESS) error = store.Walk(parent.id, parts, id);
    if (error != ERROR_SUCCESS) return error;
    // A root cannot go, nor a key with sub-keys.
    if (id <= static_cast<sqlite3_int64>(kLastRoot - kFirstRoot + 1)) return ERROR_ACCESS_DENIED;
    Statement children(store.Db(), "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    int result = children.Bind(1, id).Step();
    if (result == SQLITE_ROW) return ERROR_ACCESS_DENIED;
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    Statement values(store.Db(), "DELETE FROM vals WHERE key = ?");
    result = values.Bind(1, id).Step();
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    Statement self(store.Db(), "DELETE FROM keys WHERE id = ?");
    result = self.Bind(1, id).Step();
    if (result != SQLITE_DONE) return ErrorFromSqlite(result);
    return store.Commit();
}

// The index-th sub-key (sub-keys) or value (values) of a key in folded-name order, copied as
// RegEnumKeyExW and RegEnumValueW give them: the name, its size in wchar_t without the terminator,
// and for a value its type and bytes. ERROR_NO_MORE_ITEMS past the last one; ERROR_MORE_DATA for
// a short name buffer (nothing else changes) or a short data buffer (size needed in *dataSize).
DWORD InternalEnum(HKEY key, DWORD index, bool subKeys, LPWSTR name, DWORD* nameSize, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    KeyObject object;
    if (!Resolve(key, object)) return ERROR_INVALID_HANDLE;
    if (name == nullptr || nameSize == nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    if ((object.access & (subKeys ? KEY_ENUMERATE_SUB_KEYS : KEY_QUERY_VALUE)) == 0) return ERROR_ACCESS_DENIED;
    Store store;
    bool missing = false;
    DWORD error = store.OpenForReading(object.store, missing);
    // A root (or a handle opened on one) of a store never written has nothing below it.
    if (missing && object.id <= static_cast<sqlite3_int64>(kLastRoot - kFirstRoot + 1)) return ERROR_NO_MORE_ITEMS;
    if (error == ERROR_SUCCESS) error = store.KeyExists(object.id);
    if (error != ERROR_SUCCESS) return error;
    Statement query(store.Db(),
                    subKeys ? "SELECT name FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?"
                            : "SELECT name, type, data FROM vals WHERE key = ? ORDER BY folded LIMIT 1 OFFSET ?");
    const int result = query.Bind(1, object.id).Bind(2, static_cast<sqlite3_int64>(index)).Step();
    if (result != SQLITE_ROW) return result == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : ErrorFromSqlite(result);
    const std::wstring text =
        Utf8ToWide(static_cast<const char*>(query.Blob(0)), static_cast<std::size_t>(query.Bytes(0)));
    if (text.size() >= *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    *nameSize = static_cast<DWORD>(text.size());
    if (subKeys) return ERROR_SUCCESS;
    const auto bytes = static_cast<DWORD>(query.Bytes(2));
    if (type != nullptr) *type = static_cast<DWORD>(query.Int(1));
    if (data != nullptr && *dataSize < bytes) error = ERROR_MORE_DATA;
    else if (data != nullptr && bytes > 0) std::memcpy(data, query.Blob(2), bytes);
    if (dataSize != nullptr) *dataSize = bytes;
    return error;
}

// Runs one operation, turning an exhausted memory into its Windows code.
template <typename Operation>
LONG Run(Operation operation) {
    try {
        return static_cast<LONG>(operation());
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace

}  // namespace cu::detail

using namespace cu::detail;

// Caveats:
// - '/' separates keys as '\' does, since the library joins key paths with its path delimiter;
//   a key name cannot hold either. Runs of separators count as one, a trailing one is ignored and
//   a leading one is ERROR_BAD_PATHNAME.
// - Names compare with ASCII, Latin-1, basic Greek and Cyrillic letters folded to upper case;
//   Windows folds every letter that has a simple upper case.
// - The roots are separate trees: HKEY_CURRENT_USER is not a view of HKEY_USERS, nor
//   HKEY_CLASSES_ROOT one of the machine's classes. There are no security descriptors and no
//   per-key rights beyond the access that a handle was opened with; the options are ignored.
// - A handle keeps the store that was current when it was opened, also when
//   COMMONUTILITY_REGISTRY_DIR changes afterwards; the predefined roots follow the variable.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM desiredAccess, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    return Run([&] { return InternalOpenKey(key, subKey, desiredAccess, *result); });
}

// Caveats: the class and the security attributes are ignored; a key opened with
// KEY_CREATE_SUB_KEY missing can still open existing sub-keys through this call.
LONG RegCreateKeyExW(HKEY key, const wchar_t* subKey, DWORD /*reserved*/, wchar_t* /*keyClass*/,
                     DWORD /*options*/, REGSAM desiredAccess,
                     struct _SECURITY_ATTRIBUTES* /*securityAttributes*/, PHKEY result,
                     DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    DWORD how = 0;
    const LONG error = Run([&] { return InternalCreateKey(key, subKey, desiredAccess, *result, how); });
    if (error == ERROR_SUCCESS && disposition != nullptr) *disposition = how;
    return error;
}

// The data are the value's bytes as they were written: REG_SZ data are UTF-16LE code units, not
// wchar_t, as callers give them on Windows. A null data pointer asks for the size alone; a buffer
// that is too small gets ERROR_MORE_DATA, its content unchanged, and the size needed.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    return Run([&] { return InternalQueryValue(key, valueName, type, data, size); });
}

// Caveats: the bytes are stored as given, whatever the type; REG_SZ data should be UTF-16LE with
// their terminator, as on Windows. A value of one call is written whole or not at all.
LONG RegSetValueExW(HKEY key, const wchar_t* valueName, DWORD /*reserved*/, DWORD type,
                    const BYTE* data, DWORD size) {
    return Run([&] { return InternalSetValue(key, valueName, type, data, size); });
}

LONG RegDeleteValueW(HKEY key, const wchar_t* valueName) {
    return Run([&] { return InternalDeleteValue(key, valueName); });
}

// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED otherwise), with its values. Handles
// still open on it stay valid handles; their use gives ERROR_KEY_DELETED.
LONG RegDeleteKeyW(HKEY key, const wchar_t* subKey) {
    return Run([&] { return InternalDeleteKey(key, subKey); });
}

// Closing a predefined root succeeds and leaves it usable, as on Windows.
LONG RegCloseKey(HKEY key) {
    if (IsRoot(key)) return ERROR_SUCCESS;
    KeyTable& table = Keys();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.keys.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Caveats: sub-keys come in the order of their folded names, as Windows sorts them; sizes count
// wchar_t (UTF-32 here), not UTF-16 units. The class and the last write time are not kept:
// a class buffer gets "" and a time pointer is left alone.
LONG RegEnumKeyExW(HKEY key, DWORD index, wchar_t* name, DWORD* nameSize, DWORD* reserved, wchar_t* keyClass,
                   DWORD* classSize, FILETIME* /*lastWriteTime*/) {
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    const LONG error = Run([&] { return InternalEnum(key, index, true, name, nameSize, nullptr, nullptr, nullptr); });
    if (error == ERROR_SUCCESS && keyClass != nullptr && classSize != nullptr && *classSize > 0) {
        keyClass[0] = L'\0';
        *classSize = 0;
    }
    return error;
}

// Caveats: values come in the order of their folded names; Windows gives them in the order they
// were made. Name sizes count wchar_t, as for RegEnumKeyExW.
LONG RegEnumValueW(HKEY key, DWORD index, wchar_t* valueName, DWORD* valueNameSize, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataSize) {
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    return Run([&] { return InternalEnum(key, index, false, valueName, valueNameSize, type, data, dataSize); });
}
