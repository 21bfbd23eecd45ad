// commonutil plist show | get | set | delete
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>

#include "Cli.h"
#include "Print.h"

namespace commonutil {
namespace {

const char kShowHelp[] =
    "usage: commonutil plist show [--json] FILE\n"
    "\n"
    "Prints a property-list file (- for standard input) as an indented tree: each entry's key\n"
    "(or [position] in an array), its kind and its value. With --json, prints it as JSON:\n"
    "dictionaries as objects in key order, arrays, booleans, numbers, strings, password strings\n"
    "as {\"stringpsw\": TEXT}, dates as ISO 8601 text.\n"
    "The library reads the XML form only, with integers of 32 bits; elements it does not read\n"
    "(true, false, data, other names) are left out, and a warning on stderr says so.\n";

const char kGetHelp[] =
    "usage: commonutil plist get [--json] FILE KEYPATH\n"
    "\n"
    "Prints the value at KEYPATH: a text as it is, a number, true or false, a date as\n"
    "YYYY-MM-DD hh:mm:ss; a dictionary or array as a tree, or with --json as JSON.\n"
    "KEYPATH: \"a/b\" is the entry b of the dictionary a, as long as a key \"a\" exists;\n"
    "otherwise the whole path is one key.\n";

const char kSetHelp[] =
    "usage: commonutil plist set FILE KEYPATH TYPE VALUE\n"
    "       commonutil plist set FILE KEYPATH array|dict\n"
    "\n"
    "Writes one value into FILE (made when missing) and saves it safely: the old file stays\n"
    "whole until the new one is complete. Dictionaries missing on the way are made, so each\n"
    "'/' in KEYPATH separates keys. TYPE and VALUE:\n"
    "  bool true|false|yes|no|1|0     integer N (32-bit, decimal or 0x hex)\n"
    "  real N                         string TEXT        stringpsw TEXT\n"
    "  date YYYY-MM-DD[Thh:mm:ss]     array, dict        an empty container\n"
    "An entry of another kind is replaced; array or dict keeps a container of that kind as it is.\n"
    "A file holding elements the library does not read is refused (saving would drop them)\n"
    "unless --force is given.\n";

const char kDeleteHelp[] =
    "usage: commonutil plist delete [--force] FILE KEYPATH\n"
    "\n"
    "Removes the value or subtree at KEYPATH (the rule of plist get) and saves FILE safely.\n"
    "--force: as for plist set.\n";

// Takes the flag out of args; true when it was there.
bool TakeFlag(Args& args, const char* flag) {
    for (auto it = args.begin(); it != args.end(); ++it)
        if (*it == flag) return args.erase(it), true;
    return false;
}

// The dictionary and key that plist set writes to: existing dictionaries are walked, missing
// ones made. Null after saying why when a head names an entry that is not a dictionary.
CXMLDict* MakePath(CXMLDict& root, const std::wstring& path, std::wstring& key) {
    CXMLDict* at = &root;
    std::wstring rest = path;
    for (std::size_t slash = rest.find(L'/'); slash != std::wstring::npos && slash > 0; slash = rest.find(L'/')) {
        const CString head(rest.substr(0, slash).c_str());
        if (at->GetChild(head) == nullptr) at->AddElement(head, eXMLDict, 0);
        auto* next = dynamic_cast<CXMLDict*>(at->GetChild(head));
        if (next == nullptr) return Fail(kFailed, "plist set: " + head.ToUtf8() + " is not a dictionary"), nullptr;
        at = next;
        rest = rest.substr(slash + 1);
    }
    key = rest;
    return at;
}

// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss" or with a T between; false for anything else or a date
// that does not exist.
bool ParseDate(const std::string& text, CCommonDateTime& date) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    const bool dateOnly = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) == 3 &&
                          used == static_cast<int>(text.size());
    char separator = 0;
    if (!dateOnly && (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &separator, &h, &mi, &s,
                                  &used) != 7 ||
                      used != static_cast<int>(text.size()) || (separator != 'T' && separator != ' ')))
        return false;
    return date.SetDateTime(y, mo, d, h, mi, s) == 1;
}

bool Lower(const std::string& text, const char* word) {
    if (text.size() != std::strlen(word)) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

// Adds the entry key of the kind TYPE from VALUE to dict; a kUsage status after saying why when
// TYPE or VALUE is not understood, else kOk (kFailed when the library makes nothing).
int AddValue(CXMLDict& dict, const CString& key, const std::string& type, const std::string* value) {
    const bool container = Lower(type, "array") || Lower(type, "dict");
    if (container != (value == nullptr))
        return Fail(kUsage, container ? "plist set: array and dict take no VALUE" : "plist set: needs a VALUE; see --help");
    XMLNodeType kind = eXMLNone;
    std::uint64_t number = 0;
    CCommonDateTime date;
    const CString text(value ? value->c_str() : "");
    if (Lower(type, "bool") || Lower(type, "boolean")) {
        kind = eXMLBool;
        if (Lower(*value, "true") || Lower(*value, "yes") || *value == "1") number = 1;
        else if (!Lower(*value, "false") && !Lower(*value, "no") && *value != "0")
            return Fail(kUsage, "plist set: a bool is true, false, yes, no, 1 or 0");
    } else if (Lower(type, "integer") || Lower(type, "int")) {
        kind = eXMLInt;
        const bool hex = value->rfind("0x", 0) == 0 || value->rfind("-0x", 0) == 0;
        char* end = nullptr;
        errno = 0;
        const long long parsed = std::strtoll(value->c_str(), &end, hex ? 16 : 10);
        if (value->empty() || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
            return Fail(kUsage, "plist set: an integer is a 32-bit number, decimal or 0x hex (the file holds no more)");
        number = static_cast<std::uint64_t>(parsed);
    } else if (Lower(type, "real")) {
        kind = eXMLReal;
        char* end = nullptr;
        const double parsed = std::strtod(value->c_str(), &end);
        if (value->empty() || *end != '\0' || !std::isfinite(parsed)) return Fail(kUsage, "plist set: a real is a finite number");
    } else if (Lower(type, "string")) {
        kind = eXMLString;
    } else if (Lower(type, "stringpsw")) {
        kind = eXMLStringPSW;
    } else if (Lower(type, "date")) {
        kind = eXMLDate;
        if (!ParseDate(*value, date)) return Fail(kUsage, "plist set: a date is YYYY-MM-DD or YYYY-MM-DDThh:mm:ss, and exists");
    } else if (Lower(type, "array")) {
        kind = eXMLArray;
    } else if (Lower(type, "dict")) {
        kind = eXMLDict;
    } else {
        return Fail(kUsage, "plist set: TYPE must be bool, integer, real, string, stringpsw, date, array or dict");
    }

    CXMLElement* old = dict.GetChild(key);
    if (old != nullptr && container && old->GetIniNodeType() == kind) return kOk;
    if (old != nullptr) dict.RemoveElement(key);  // a literal key: no '/' is left in it here
    const bool byText = kind == eXMLReal || kind == eXMLString || kind == eXMLStringPSW;
    const std::uint64_t made = byText ? reinterpret_cast<std::uintptr_t>(text.GetString()) : number;
    if (dict.AddElement(key, kind, made) != 1 || dict.GetChild(key) == nullptr)
        return Fail(kFailed, "plist set: the value cannot be made");
    if (kind == eXMLDate) dict.GetChild(key)->SetValue(date);
    return kOk;
}

// Loads FILE for an edit (kOk); refuses standard input, and unless forced a file the library
// would not write back whole.
int LoadForEdit(CXMLDict& dict, const std::string& path, bool force, bool mayBeNew) {
    if (path == "-") return Fail(kUsage, "plist: a file is edited in place; - is not accepted");
    if (!CheckOutput(path)) return kFailed;
    if (mayBeNew && !CFileOperation::IsFileAvailable(CString(path.c_str())) &&
        !CFileOperation::IsDirAvailable(CString(path.c_str())))
        return kOk;
    std::string bytes;
    if (!ReadInput(path, bytes)) return kFailed;
    if (!force && !UnreadParts(bytes).empty()) {
        for (const std::string& note : UnreadParts(bytes)) Warn(path + ": " + note);
        return Fail(kFailed, path + ": saving would drop or change these; not written (--force writes anyway)");
    }
    return LoadDocument(dict, path) ? kOk : kFailed;
}

// Saves through the library, which keeps the old file whole until the new one is complete but
// reports success once the text is made; the file is read back to see that it arrived.
int Save(CXMLDict& dict, const std::string& path) {
    wchar_t* text = nullptr;
    if (dict.SaveToMemFile(&text) != 1 || text == nullptr) return Fail(kFailed, path + ": the document cannot be made");
    const std::string expected = CString(text).ToUtf8();
    SysFreeString(text);
    if (dict.SaveToFile(CString(path.c_str())) != 1) return Fail(kFailed, path + ": cannot be written");
    std::string written;
    if (!ReadInput(path, written) || written != expected)
        return Fail(kFailed, path + ": was not written (what was there before is kept)");
    return kOk;
}

}  // namespace

int PlistShow(const Args& given) {
    if (WantsHelp(given)) return std::fputs(kShowHelp, stdout), kOk;
    Args args = given;
    const bool json = TakeFlag(args, "--json");
    if (args.size() != 1) return Fail(kUsage, "plist show: needs exactly one FILE; see --help");
    CXMLDict dict;
    if (!LoadDocument(dict, args[0])) return kFailed;
    if (json) PrintJson(dict, stdout);
    else PrintTree(dict, stdout);
    return kOk;
}

int PlistGet(const Args& given) {
    if (WantsHelp(given)) return std::fputs(kGetHelp, stdout), kOk;
    Args args = given;
    const bool json = TakeFlag(args, "--json");
    if (args.size() != 2) return Fail(kUsage, "plist get: needs FILE and KEYPATH; see --help");
    CXMLDict dict;
    if (!LoadDocument(dict, args[0])) return kFailed;
    CXMLElement* element = dict[CString(args[1].c_str())];
    if (element == nullptr) return Fail(kFailed, args[0] + ": no entry " + args[1]);
    const XMLNodeType kind = element->GetIniNodeType();
    if (json) {
        PrintJson(*element, stdout);
    } else if (kind == eXMLArray || kind == eXMLDict) {
        PrintTree(*element, stdout, CString(args[1].c_str()).GetString());
    } else if (kind == eXMLString || kind == eXMLStringPSW) {
        CString text;
        element->GetValue(&text);
        std::printf("%s\n", text.ToUtf8().c_str());
    } else if (kind == eXMLBool) {
        int value = 0;
        element->GetValue(&value);
        std::puts(value ? "true" : "false");
    } else {
        std::printf("%s\n", ValueText(*element).ToUtf8().c_str());
    }
    return kOk;
}

int PlistSet(const Args& given) {
    if (WantsHelp(given)) return std::fputs(kSetHelp, stdout), kOk;
    Args args = given;
    const bool force = TakeFlag(args, "--force");
    if (args.size() != 3 && args.size() != 4) return Fail(kUsage, "plist set: needs FILE KEYPATH TYPE [VALUE]; see --help");
    CXMLDict dict;
    if (const int status = LoadForEdit(dict, args[0], force, true); status != kOk) return status;
    std::wstring key;
    CXMLDict* parent = MakePath(dict, CString(args[1].c_str()).str(), key);
    if (parent == nullptr) return kFailed;
    const int status = AddValue(*parent, CString(key.c_str()), args[2], args.size() == 4 ? &args[3] : nullptr);
    return status == kOk ? Save(dict, args[0]) : status;
}

int PlistDelete(const Args& given) {
    if (WantsHelp(given)) return std::fputs(kDeleteHelp, stdout), kOk;
    Args args = given;
    const bool force = TakeFlag(args, "--force");
    if (args.size() != 2) return Fail(kUsage, "plist delete: needs FILE and KEYPATH; see --help");
    CXMLDict dict;
    if (const int status = LoadForEdit(dict, args[0], force, false); status != kOk) return status;
    if (dict.RemoveElement(CString(args[1].c_str())) != 1) return Fail(kFailed, args[0] + ": no entry " + args[1]);
    return Save(dict, args[0]);
}

}  // namespace commonutil
