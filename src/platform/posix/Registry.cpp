// The registry for POSIX with Windows semantics: the Reg*W functions over the SQLite store
// (RegistryStore.cpp), and the table of open key handles.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Unicode.h"
#include "platform/posix/HandleTable.h"
#include "platform/posix/Internal.h"
#include "platform/posix/RegistryStore.h"

namespace cu::detail {

namespace {

constexpr ULONG_PTR kFirstRoot = 0x80000000u;  // HKEY_CLASSES_ROOT
constexpr ULONG_PTR kLastRoot = 0x80000005u;   // HKEY_CURRENT_CONFIG

// ---- Open keys --------------------------------------------------------------------------------

// What an HKEY stands for: a key row in one store, and the rights it was opened with. The store
// is fixed when the key is opened.
struct KeyObject {
    std::string store;
    sqlite3_int64 id;
    REGSAM access;
};

using KeyTable = HandleTable<HKEY, KeyObject>;

bool IsRoot(HKEY key) {
    const auto value = reinterpret_cast<ULONG_PTR>(key);
    return value >= kFirstRoot && value <= kLastRoot;
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
    const std::shared_ptr<KeyObject> found = KeyTable::Instance().Find(key);
    if (found == nullptr) return false;
    out = *found;
    return true;
}

HKEY Register(KeyObject key) { return KeyTable::Instance().Add(std::make_shared<KeyObject>(std::move(key))); }

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
    return Emulate([&]() -> LONG { return InternalOpenKey(key, subKey, desiredAccess, *result); });
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
    const LONG error = Emulate([&]() -> LONG { return InternalCreateKey(key, subKey, desiredAccess, *result, how); });
    if (error == ERROR_SUCCESS && disposition != nullptr) *disposition = how;
    return error;
}

// The data are the value's bytes as they were written: REG_SZ data are UTF-16LE code units, not
// wchar_t, as callers give them on Windows. A null data pointer asks for the size alone; a buffer
// that is too small gets ERROR_MORE_DATA, its content unchanged, and the size needed.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    return Emulate([&]() -> LONG { return InternalQueryValue(key, valueName, type, data, size); });
}

// Caveats: the bytes are stored as given, whatever the type; REG_SZ data should be UTF-16LE with
// their terminator, as on Windows. A value of one call is written whole or not at all.
LONG RegSetValueExW(HKEY key, const wchar_t* valueName, DWORD /*reserved*/, DWORD type,
                    const BYTE* data, DWORD size) {
    return Emulate([&]() -> LONG { return InternalSetValue(key, valueName, type, data, size); });
}

LONG RegDeleteValueW(HKEY key, const wchar_t* valueName) {
    return Emulate([&]() -> LONG { return InternalDeleteValue(key, valueName); });
}

// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED otherwise), with its values. Handles
// still open on it stay valid handles; their use gives ERROR_KEY_DELETED.
LONG RegDeleteKeyW(HKEY key, const wchar_t* subKey) {
    return Emulate([&]() -> LONG { return InternalDeleteKey(key, subKey); });
}

// Closing a predefined root succeeds and leaves it usable, as on Windows.
LONG RegCloseKey(HKEY key) {
    if (IsRoot(key)) return ERROR_SUCCESS;
    return KeyTable::Instance().Remove(key) != nullptr ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// Caveats: sub-keys come in the order of their folded names, as Windows sorts them; sizes count
// wchar_t (UTF-32 here), not UTF-16 units. The class and the last write time are not kept:
// a class buffer gets "" and a time pointer is left alone.
LONG RegEnumKeyExW(HKEY key, DWORD index, wchar_t* name, DWORD* nameSize, DWORD* reserved, wchar_t* keyClass,
                   DWORD* classSize, FILETIME* /*lastWriteTime*/) {
    if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
    const LONG error = Emulate([&]() -> LONG { return InternalEnum(key, index, true, name, nameSize, nullptr, nullptr, nullptr); });
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
    return Emulate([&]() -> LONG { return InternalEnum(key, index, false, valueName, valueNameSize, type, data, dataSize); });
}
