// Registry helpers of the command-line tool: key paths, text, value forms and enumeration.
#pragma once

#include <string>
#include <vector>

#include <CommonUtility.h>

namespace commonutil {

// An open registry key, closed when its holder goes.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { Close(); }

    HKEY Get() const { return m_key; }
    // Where an open or create call puts the key; a key held before is closed first.
    HKEY* Put() {
        Close();
        return &m_key;
    }
    void Close() {
        if (m_key != nullptr) RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

struct RegValue {
    std::wstring name;  // "" for the default value
    DWORD type;
    std::vector<BYTE> data;
};

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& wide);
// UTF-16LE bytes with a terminating zero unit, as REG_SZ holds them.
std::vector<BYTE> Utf16Bytes(const std::wstring& wide);
// The text of UTF-16LE bytes up to the first zero unit.
std::wstring WideFromUtf16(const BYTE* data, std::size_t size);
// "HKCU\Software\X" (or HKEY_CURRENT_USER, HKLM, HKCR, HKU and their long names, in any case)
// into root and sub-key path.
bool ParseRegKey(const std::string& path, HKEY& root, std::wstring& subKey);
// The long name of a root: "HKEY_CURRENT_USER", ...
std::string RootName(HKEY root);
const char* TypeName(DWORD type);
// Strings as text, DWORD and QWORD as hex and decimal, anything else as hex bytes.
std::string ValueText(DWORD type, const std::vector<BYTE>& data);
// Hex digits into bytes; commas, spaces, backslashes and line ends are skipped.
bool ParseHex(const std::string& text, std::vector<BYTE>& bytes);
LONG ReadValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data);
LONG EnumSubKeys(HKEY key, std::vector<std::wstring>& names);
LONG EnumValues(HKEY key, std::vector<RegValue>& values);
// Deletes a key with its sub-keys, depth first.
LONG DeleteTree(HKEY root, const std::wstring& subKey);

}  // namespace commonutil
