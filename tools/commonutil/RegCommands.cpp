// commonutil reg get | set | delete | list
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Cli.h"
#include "Registry.h"

namespace commonutil {
namespace {

const char kRegHelp[] =
    "usage: commonutil reg get ROOT\\KEY NAME\n"
    "       commonutil reg set ROOT\\KEY NAME TYPE DATA\n"
    "       commonutil reg delete ROOT\\KEY [NAME]\n"
    "       commonutil reg list ROOT\\KEY\n"
    "       commonutil reg import FILE | export ROOT\\KEY FILE   (see reg import --help)\n"
    "\n"
    "Reads and writes the registry the library uses: on Windows the system's, elsewhere the\n"
    "library's own store (registry.db in $COMMONUTILITY_REGISTRY_DIR, else in the user's\n"
    "configuration folder). ROOT is HKCU or HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE, HKCR\n"
    "or HKEY_CLASSES_ROOT, HKU or HKEY_USERS; NAME @ is the key's default value. TYPE (in any\n"
    "case) and DATA for set:\n"
    "  REG_SZ TEXT          REG_DWORD NUMBER      REG_QWORD NUMBER (decimal or 0x hex)\n"
    "  REG_BINARY HEX       bytes as hex digits, optionally separated by commas or spaces\n"
    "set creates the key when needed. delete without NAME removes the key with everything below\n"
    "it. list prints the sub-keys, then the values with their types.\n";

}  // namespace

// The results the registry gives, the library's own store on POSIX and the system's on Windows.
std::string RegErrorText(long error) {
    static const struct {
        long code;
        const char* text;
    } kWords[] = {
        {2, "not found"},
        {3, "the path is not found"},
        {5, "access denied"},
        {6, "the key handle is not valid"},
        {8, "out of memory"},
        {31, "the store failed"},
        {87, "a name or parameter is not valid"},
        {112, "the disk is full"},
        {161, "the key path is not valid"},
        {170, "the store is busy with another writer"},
        {234, "more data than fits"},
        {259, "no more entries"},
        {998, "the memory cannot be reached"},
        {1011, "the registry store cannot be opened"},
        {1015, "the registry store is corrupt"},
        {1016, "the registry store cannot be read or written"},
        {1018, "the key was deleted"},
    };
    for (const auto& word : kWords)
        if (word.code == error) return std::string(word.text) + " (error " + std::to_string(error) + ")";
    return "error " + std::to_string(error);
}

// ---- Text and values, shared with import and export ------------------------------------------------

std::wstring WideFromUtf8(const std::string& text) {
    const CString wide = CString::FromUtf8(text.data(), text.size());
    return std::wstring(wide.GetString(), static_cast<std::size_t>(wide.GetLength()));
}

std::string Utf8FromWide(const std::wstring& wide) { return CString(wide.c_str()).ToUtf8(); }

std::vector<BYTE> Utf16Bytes(const std::wstring& wide) {
    std::vector<BYTE> bytes;
    auto unit = [&](std::uint32_t u) {
        bytes.push_back(static_cast<BYTE>(u & 0xFF));
        bytes.push_back(static_cast<BYTE>(u >> 8));
    };
    for (wchar_t w : wide) {
        const auto c = static_cast<std::uint32_t>(w);
        if (c > 0xFFFF) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    unit(0);
    return bytes;
}

std::wstring WideFromUtf16(const BYTE* data, std::size_t size) {
    std::wstring wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        std::uint32_t c = data[i] | (data[i + 1] << 8);
        if (c == 0) break;
        if (sizeof(wchar_t) == 4 && c >= 0xD800 && c < 0xDC00 && i + 3 < size) {
            const std::uint32_t low = data[i + 2] | (data[i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

bool ParseRegKey(const std::string& path, HKEY& root, std::wstring& subKey) {
    const std::size_t slash = path.find('\\');
    std::string head = path.substr(0, slash);
    for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (head == "HKCU" || head == "HKEY_CURRENT_USER") root = HKEY_CURRENT_USER;
    else if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE") root = HKEY_LOCAL_MACHINE;
    else if (head == "HKCR" || head == "HKEY_CLASSES_ROOT") root = HKEY_CLASSES_ROOT;
    else if (head == "HKU" || head == "HKEY_USERS") root = HKEY_USERS;
    else return false;
    subKey = slash == std::string::npos ? L"" : WideFromUtf8(path.substr(slash + 1));
    return true;
}

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_USERS) return "HKEY_USERS";
    return "HKEY_CURRENT_USER";
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "REG_UNKNOWN";
    }
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data) {
    char text[64];
    if ((type == REG_SZ || type == REG_EXPAND_SZ)) return Utf8FromWide(WideFromUtf16(data.data(), data.size()));
    if (type == REG_DWORD && data.size() == 4) {
        const std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t(data[3]) << 24);
        std::snprintf(text, sizeof text, "0x%08lx (%lu)", static_cast<unsigned long>(v), static_cast<unsigned long>(v));
        return text;
    }
    if (type == REG_QWORD && data.size() == 8) {
        unsigned long long v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | data[i];
        std::snprintf(text, sizeof text, "0x%016llx (%llu)", v, v);
        return text;
    }
    std::string hex;
    for (BYTE b : data) {
        std::snprintf(text, sizeof text, hex.empty() ? "%02x" : " %02x", b);
        hex += text;
    }
    return hex;
}

bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? 16 : 10);
    return *end == '\0' && errno != ERANGE && value <= limit;
}

bool ParseHex(const std::string& text, std::vector<BYTE>& bytes) {
    int digits = 0;
    unsigned value = 0;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\\' || c == '\n' || c == '\r' || c == '\t') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
        if (++digits % 2 == 0) bytes.push_back(static_cast<BYTE>(value)), value = 0;
    }
    return digits % 2 == 0;
}

LONG ReadValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LONG error = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    while (error == ERROR_SUCCESS) {
        data.assign(size, 0);
        error = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (error != ERROR_MORE_DATA) break;
        error = ERROR_SUCCESS;  // grew in between: ask again
    }
    if (error == ERROR_SUCCESS) data.resize(size);
    return error;
}

LONG EnumSubKeys(HKEY key, std::vector<std::wstring>& names) {
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = 256;
        const LONG error = RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return error;
        names.emplace_back(name, size);
    }
}

LONG EnumValues(HKEY key, std::vector<RegValue>& values) {
    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LONG error = RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, nullptr, &size);
        if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return error;
        RegValue value{std::wstring(name.data(), nameSize), type, std::vector<BYTE>(size)};
        nameSize = static_cast<DWORD>(name.size());
        error = RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, value.data.data(), &size);
        if (error != ERROR_SUCCESS) return error;
        value.data.resize(size);
        values.push_back(std::move(value));
    }
}

LONG DeleteTree(HKEY root, const std::wstring& subKey) {
    std::vector<std::wstring> children;
    LONG error = ERROR_SUCCESS;
    {  // the key is closed before anything below it goes
        RegKey key;
        error = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.Put());
        if (error == ERROR_SUCCESS) error = EnumSubKeys(key.Get(), children);
    }
    for (std::size_t i = 0; error == ERROR_SUCCESS && i < children.size(); ++i)
        error = DeleteTree(root, subKey + L"\\" + children[i]);
    return error == ERROR_SUCCESS ? RegDeleteKeyW(root, subKey.c_str()) : error;
}

// ---- The commands ------------------------------------------------------------------------------------

int Reg(const Args& args) {
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "import") return RegImport(Args(args.begin() + 1, args.end()));
    if (verb == "export") return RegExport(Args(args.begin() + 1, args.end()));
    if (WantsHelp(args)) return std::fputs(kRegHelp, stdout), kOk;
    const std::size_t counts[][2] = {{3, 3}, {5, 5}, {2, 3}, {2, 2}};
    const char* verbs[] = {"get", "set", "delete", "list"};
    int which = -1;
    for (int i = 0; i < 4; ++i)
        if (verb == verbs[i]) which = i;
    if (which < 0) return Fail(kUsage, "reg: expects get, set, delete, list, import or export; see --help");
    if (args.size() < counts[which][0] || args.size() > counts[which][1])
        return Fail(kUsage, "reg " + verb + ": wrong number of arguments; see --help");
    HKEY root = nullptr;
    std::wstring subKey;
    if (!ParseRegKey(args[1], root, subKey))
        return Fail(kUsage, "reg " + verb + ": " + args[1] + ": the key must start with HKCU, HKLM, HKCR or HKU");
    const std::wstring name = args.size() > 2 && args[2] != "@" ? WideFromUtf8(args[2]) : L"";
    const std::string where = args[1] + (args.size() > 2 ? " " + args[2] : "");
    RegKey key;

    if (verb == "set") {
        std::vector<BYTE> data;
        DWORD type = 0;
        unsigned long long number = 0;
        const std::string& text = args[4];
        std::string typeName = args[3];
        for (char& c : typeName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (typeName == "REG_SZ") type = REG_SZ, data = Utf16Bytes(WideFromUtf8(text));
        else if (typeName == "REG_DWORD" && ParseNumber(text, 0xFFFFFFFFull, number)) type = REG_DWORD;
        else if (typeName == "REG_QWORD" && ParseNumber(text, ~0ull, number)) type = REG_QWORD;
        else if (typeName == "REG_BINARY" && ParseHex(text, data)) type = REG_BINARY;
        else if (typeName == "REG_DWORD" || typeName == "REG_QWORD")
            return Fail(kUsage, "reg set: " + typeName + " DATA must be a number of " +
                                    (typeName == "REG_DWORD" ? "32" : "64") + " bits, decimal or 0x hex");
        else if (typeName == "REG_BINARY")
            return Fail(kUsage, "reg set: REG_BINARY DATA must be pairs of hex digits");
        else return Fail(kUsage, "reg set: TYPE must be REG_SZ, REG_DWORD, REG_QWORD or REG_BINARY");
        for (int i = 0; i < (type == REG_DWORD ? 4 : type == REG_QWORD ? 8 : 0); ++i)
            data.push_back(static_cast<BYTE>(number >> (8 * i)));
        LONG error = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                     key.Put(), nullptr);
        if (error == ERROR_SUCCESS)
            error = RegSetValueExW(key.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
        if (error != ERROR_SUCCESS) return Fail(kFailed, "reg set: " + where + ": " + RegErrorText(error));
        return kOk;
    }
    if (verb == "delete" && args.size() == 2) {
        if (subKey.empty()) return Fail(kUsage, "reg delete: a root cannot be deleted");
        const LONG error = DeleteTree(root, subKey);
        if (error != ERROR_SUCCESS) return Fail(kFailed, "reg delete: " + where + ": " + RegErrorText(error));
        return kOk;
    }
    LONG error = RegOpenKeyExW(root, subKey.c_str(), 0, verb == "delete" ? KEY_SET_VALUE : KEY_READ, key.Put());
    if (error != ERROR_SUCCESS) return Fail(kFailed, "reg " + verb + ": " + args[1] + ": " + RegErrorText(error));
    if (verb == "delete") {
        error = RegDeleteValueW(key.Get(), name.c_str());
    } else if (verb == "get") {
        DWORD type = 0;
        std::vector<BYTE> data;
        error = ReadValue(key.Get(), name, type, data);
        if (error == ERROR_SUCCESS) std::printf("%s\t%s\n", TypeName(type), ValueText(type, data).c_str());
    } else {
        std::vector<std::wstring> children;
        std::vector<RegValue> values;
        error = EnumSubKeys(key.Get(), children);
        if (error == ERROR_SUCCESS) error = EnumValues(key.Get(), values);
        for (const std::wstring& child : children) std::printf("[%s]\n", Utf8FromWide(child).c_str());
        for (const RegValue& value : values)
            std::printf("%s\t%s\t%s\n", value.name.empty() ? "@" : Utf8FromWide(value.name).c_str(),
                        TypeName(value.type), ValueText(value.type, value.data).c_str());
    }
    key.Close();
    if (error != ERROR_SUCCESS) return Fail(kFailed, "reg " + verb + ": " + where + ": " + RegErrorText(error));
    return kOk;
}

}  // namespace commonutil
