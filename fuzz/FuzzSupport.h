// Helpers shared by the fuzz targets: input splitting, a scratch file, saving to text, and the
// round trip of a loaded tree.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "commonutility/DateTime.h"
#include "commonutility/XMLDict.h"
#include "platform/win32.h"
#include "support/PlistSupport.h"
#include "support/SameTree.h"

namespace cu::fuzz {

// Stops the run with a message that libFuzzer reports with the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Reads the input front to back; past its end every read gives zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    template <typename T>
    T Value() {
        T value{};
        unsigned char* out = reinterpret_cast<unsigned char*>(&value);
        for (std::size_t i = 0; i < sizeof value; ++i) out[i] = Byte();
        return value;
    }
    // Bytes up to the next 0 or the end, not including the 0.
    std::string Piece() {
        std::string piece;
        while (m_pos < m_size && m_data[m_pos] != 0) piece += static_cast<char>(m_data[m_pos++]);
        if (m_pos < m_size) ++m_pos;
        return piece;
    }
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(m_data) + m_pos, m_size - m_pos);
        m_pos = m_size;
        return rest;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Wide text from bytes: each byte one character (so controls and Latin-1 reach the reader), or
// the bytes decoded as UTF-8 (what the dictionary's tokens and the seeds are written in).
inline std::wstring Widen(const std::string& bytes, bool utf8) {
    if (utf8) return CString(bytes.c_str()).str();
    std::wstring text;
    for (unsigned char c : bytes) text += static_cast<wchar_t>(c);
    return text;
}

// One file per fuzzing process, rewritten for every input and removed at exit.
inline const CString& ScratchFile(const char* name) {
    static const std::string path = [name] {
        std::string p = "/tmp/cu-fuzz-" + std::to_string(getpid()) + "-" + name;
        static std::string removeAtExit;
        removeAtExit = p;
        std::atexit([] { std::remove(removeAtExit.c_str()); });
        return p;
    }();
    static const CString wide(path.c_str());
    return wide;
}

inline bool WriteFile(const CString& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.ToUtf8().c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// The dictionary saved as text; fails the run when the save fails.
inline std::wstring Saved(CXMLDict& dict) {
    std::wstring text = cu::test::Saved(dict);
    if (text.empty()) Fail("SaveToMemFile of a loaded tree");
    return text;
}

// Whether the tree holds a text that changes on its way through the XML form, as documented: text
// of spaces, tabs and line feeds only, in a key or a string (not in CDATA), reads back empty.
inline bool HasNormalizedText(CXMLDict& root) {
    auto blank = [](const CString& text) {
        return !text.IsEmpty() && text.str().find_first_not_of(L" \t\n") == std::wstring::npos;
    };
    std::vector<CXMLElement*> pending{&root};
    while (!pending.empty()) {
        CXMLElement* element = pending.back();
        pending.pop_back();
        if (auto* dict = dynamic_cast<CXMLDict*>(element)) {
            for (const CString& key : dict->GetKeys()) {
                if (blank(key)) return true;
                pending.push_back(dict->GetChild(key));
            }
        } else if (auto* array = dynamic_cast<CXMLArray*>(element)) {
            for (int i = 0; i < static_cast<int>(array->GetSize()); ++i) pending.push_back((*array)[i]);
        } else if (element != nullptr && element->GetIniNodeType() == eXMLString) {
            if (blank(cu::test::ValueAt(element, CString()))) return true;
        }
    }
    return false;
}

// A loaded dictionary saves, the text loads again into the same tree (but for the documented
// normalisation of texts), and from then on saving and loading change nothing. An empty
// dictionary is left out: its saved form has a root without children, which the reader refuses.
inline void CheckRoundTrip(CXMLDict& loaded) {
    if (loaded.GetKeys().empty()) return;
    CXMLDict again;
    if (cu::test::Load(again, Saved(loaded)) != 1) Fail("a saved text does not load");
    if (!HasNormalizedText(loaded) && !cu::test::SameTree(loaded, again)) Fail("load, save, load changed the tree");
    if (again.GetKeys().empty()) return;
    const std::wstring second = Saved(again);
    CXMLDict third;
    if (cu::test::Load(third, second) != 1) Fail("a second saved text does not load");
    if (!cu::test::SameTree(again, third)) Fail("a second round trip changed the tree");
    if (Saved(third) != second) Fail("a second save gave another text");
}

}  // namespace cu::fuzz
