// commonutil reg import | export: registry export text files ("Windows Registry Editor Version 5.00").
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "Registry.h"

namespace commonutil {
namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";

const char kImportHelp[] =
    "usage: commonutil reg import FILE   (FILE - for standard input)\n"
    "\n"
    "Writes the keys and values of a registry export file (header \"Windows Registry Editor\n"
    "Version 5.00\"; UTF-8, or UTF-16LE with its byte-order mark) into the registry the library\n"
    "uses. Sections [ROOT\\KEY] create keys, [-ROOT\\KEY] deletes one with everything below it;\n"
    "values are \"name\"=\"text\", dword:HHHHHHHH, hex:BYTES, hex(TYPE):BYTES, or - to delete; @ is\n"
    "the default value. Lines are applied in order: a failure stops the import, and what came\n"
    "before it stays written.\n";

const char kExportHelp[] =
    "usage: commonutil reg export ROOT\\KEY FILE   (FILE - for standard output)\n"
    "\n"
    "Writes KEY, its values and everything below it to FILE as a registry export file, in UTF-8\n"
    "(without a byte-order mark). A read-only FILE is refused. Strings that end in one zero unit are written as \"text\" with\n"
    "\\\\ and \\\" escaped, 4-byte REG_DWORD values as dword:, everything else as hex(TYPE): bytes.\n";

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexBytes(const std::vector<BYTE>& data) {
    std::string out;
    char byte[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", data[i]);
        out += byte;
    }
    return out;
}

std::string ValueLine(const RegValue& value) {
    std::string line = value.name.empty() ? "@" : Quoted(Utf8FromWide(value.name));
    const std::wstring text = WideFromUtf16(value.data.data(), value.data.size());
    char number[16];
    if (value.type == REG_SZ && Utf16Bytes(text) == value.data) return line + "=" + Quoted(Utf8FromWide(text));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const unsigned long v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<unsigned long>(value.data[3]) << 24);
        std::snprintf(number, sizeof number, "dword:%08lx", v);
        return line + "=" + number;
    }
    if (value.type == REG_BINARY) return line + "=hex:" + HexBytes(value.data);
    std::snprintf(number, sizeof number, "hex(%lx):", static_cast<unsigned long>(value.type));
    return line + "=" + number + HexBytes(value.data);
}

LONG ExportKey(HKEY root, const std::wstring& subKey, std::ostream& out) {
    std::vector<RegValue> values;
    std::vector<std::wstring> children;
    LONG error = ERROR_SUCCESS;
    {
        RegKey key;
        error = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.Put());
        if (error == ERROR_SUCCESS) error = EnumValues(key.Get(), values);
        if (error == ERROR_SUCCESS) error = EnumSubKeys(key.Get(), children);
    }
    if (error != ERROR_SUCCESS) return error;
    out << "[" << RootName(root) << (subKey.empty() ? "" : "\\" + Utf8FromWide(subKey)) << "]\r\n";
    for (const RegValue& value : values) out << ValueLine(value) << "\r\n";
    out << "\r\n";
    for (std::size_t i = 0; error == ERROR_SUCCESS && i < children.size(); ++i)
        error = ExportKey(root, subKey.empty() ? children[i] : subKey + L"\\" + children[i], out);
    return error;
}

// The file's text as UTF-8: a UTF-16LE file needs its byte-order mark; a UTF-8 one loses its own.
std::string DecodeFile(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF && static_cast<BYTE>(bytes[1]) == 0xFE) {
        std::wstring wide;
        std::vector<BYTE> units(bytes.begin() + 2, bytes.end());
        units.push_back(0);
        units.push_back(0);
        return Utf8FromWide(WideFromUtf16(units.data(), units.size()));
    }
    return bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
}

// A quoted text from position i (at the opening quote) with \\ and \" undone; i ends after it.
bool Unquote(const std::string& line, std::size_t& i, std::string& text) {
    if (i >= line.size() || line[i] != '"') return false;
    for (++i; i < line.size(); ++i) {
        if (line[i] == '"') return ++i, true;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        text += line[i];
    }
    return false;
}

// One value line into its name and either data (with type) or a deletion; false when malformed.
bool ParseValueLine(const std::string& line, std::wstring& name, bool& remove, DWORD& type, std::vector<BYTE>& data) {
    std::size_t i = 0;
    std::string text;
    if (line[0] == '@') i = 1;
    else if (!Unquote(line, i, text)) return false;
    name = WideFromUtf8(text);
    if (i >= line.size() || line[i] != '=') return false;
    const std::string rest = line.substr(i + 1);
    remove = rest == "-";
    if (remove) return true;
    if (rest[0] == '"') {
        std::size_t j = 0;
        std::string value;
        if (!Unquote(rest, j, value) || j != rest.size()) return false;
        type = REG_SZ;
        data = Utf16Bytes(WideFromUtf8(value));
        return true;
    }
    if (rest.rfind("dword:", 0) == 0) {
        const std::string digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        const unsigned long v = std::stoul(digits, nullptr, 16);
        type = REG_DWORD;
        data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
        return true;
    }
    std::size_t colon = rest.find(':');
    if (rest.rfind("hex:", 0) == 0) {
        type = REG_BINARY;
    } else if (rest.rfind("hex(", 0) == 0 && colon != std::string::npos && rest[colon - 1] == ')') {
        const std::string digits = rest.substr(4, colon - 5);
        if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        type = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
    } else {
        return false;
    }
    // Byte pairs separated by commas.
    const std::string bytes = rest.substr(colon + 1);
    std::vector<std::string> pieces;
    std::stringstream stream(bytes);
    for (std::string piece; std::getline(stream, piece, ',');) {
        const std::size_t start = piece.find_first_not_of(" \t");
        const std::size_t end = piece.find_last_not_of(" \t");
        if (start == std::string::npos || end - start != 1) return false;
        pieces.push_back(piece.substr(start, 2));
    }
    if (!bytes.empty() && bytes.back() == ',') return false;
    std::string joined;
    for (const std::string& piece : pieces) joined += piece;
    data.clear();
    return ParseHex(joined, data);
}

}  // namespace

int RegImport(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kImportHelp, stdout), kOk;
    if (args.size() != 1) return Fail(kUsage, "reg import: needs exactly one FILE; see --help");
    std::string bytes;
    if (!ReadInput(args[0], bytes)) return kFailed;
    const std::string text = DecodeFile(bytes);
    const std::string name = args[0] == "-" ? "standard input" : args[0];

    std::vector<std::pair<int, std::string>> lines;  // line number, logical line
    std::istringstream stream(text);
    std::string pending;
    int number = 0, first = 0;
    for (std::string line; std::getline(stream, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        line = start == std::string::npos ? "" : line.substr(start);
        if (pending.empty()) first = number;
        // A trailing backslash continues a hex list on the next line (a complete string value
        // ends with its quote, a section with its bracket).
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        pending += line;
        if (!pending.empty() && pending[0] != ';') lines.emplace_back(first, pending);
        pending.clear();
    }
    if (lines.empty() || lines[0].second != kHeader)
        return Fail(kFailed, name + ": not a registry export file (the first line must be \"" + kHeader + "\")");

    RegKey key;
    auto fail = [&](int line, const std::string& why) {
        return Fail(kFailed, name + ":" + std::to_string(line) + ": " + why);
    };
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto& [at, line] = lines[i];
        if (line[0] == '[') {
            key.Close();
            if (line.back() != ']') return fail(at, "a section must end with ]");
            const bool remove = line.size() > 1 && line[1] == '-';
            HKEY root = nullptr;
            std::wstring subKey;
            if (!ParseRegKey(line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2)), root, subKey))
                return fail(at, "the key must start with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT or HKEY_USERS");
            LONG error = ERROR_SUCCESS;
            if (remove) {
                error = subKey.empty() ? ERROR_ACCESS_DENIED : DeleteTree(root, subKey);
                if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
            } else {
                error = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                        key.Put(), nullptr);
            }
            if (error != ERROR_SUCCESS) return fail(at, "the key cannot be written: " + RegErrorText(error));
            continue;
        }
        std::wstring name;
        bool remove = false;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!ParseValueLine(line, name, remove, type, data)) return fail(at, "not a value line: " + line);
        if (key.Get() == nullptr) return fail(at, "a value outside a key section");
        LONG error = remove ? RegDeleteValueW(key.Get(), name.c_str())
                            : RegSetValueExW(key.Get(), name.c_str(), 0, type, data.data(),
                                             static_cast<DWORD>(data.size()));
        if (remove && error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return fail(at, "the value cannot be written: " + RegErrorText(error));
    }
    return kOk;
}

int RegExport(const Args& args) {
    if (WantsHelp(args)) return std::fputs(kExportHelp, stdout), kOk;
    if (args.size() != 2) return Fail(kUsage, "reg export: needs ROOT\\KEY and FILE; see --help");
    HKEY root = nullptr;
    std::wstring subKey;
    if (!ParseRegKey(args[0], root, subKey))
        return Fail(kUsage, "reg export: " + args[0] + ": the key must start with HKCU, HKLM, HKCR or HKU");
    if (!CheckOutput(args[1])) return kFailed;
    std::ostringstream text;
    text << kHeader << "\r\n\r\n";
    const LONG error = ExportKey(root, subKey, text);
    if (error != ERROR_SUCCESS) return Fail(kFailed, "reg export: " + args[0] + ": " + RegErrorText(error));
    return WriteOutput(args[1], text.str()) ? kOk : kFailed;
}

}  // namespace commonutil
