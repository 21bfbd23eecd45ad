// Helpers for the property-list tests: values, trees, bodies, temporary folders and files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "commonutility/XMLDict.h"
#include "platform/win32.h"
#include "support/TempDir.h"

namespace cu::test {

// The value that the containers' factory takes for a text.
inline std::uint64_t Text(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

// The dictionary saved as text; empty when the save fails.
inline std::wstring Saved(CXMLDict& dict) {
    wchar_t* text = nullptr;
    if (dict.SaveToMemFile(&text) != 1) return {};
    std::wstring copy(text, SysStringLen(text));
    SysFreeString(text);
    return copy;
}

// Loads text as a caller's own buffer; the load's result.
inline int Load(CXMLDict& dict, std::wstring text) { return dict.LoadFromMemFile(&text[0]); }

// The saved text from "<plist" on, without the line break that ends it.
inline CString Body(CXMLDict& dict) {
    std::wstring text = Saved(dict);
    const std::size_t start = text.find(L"<plist");
    if (start == std::wstring::npos) return CString(L"(save failed)");
    text.erase(text.find_last_not_of(L"\r\n") + 1);
    return CString(text.substr(start));
}

// Saves source to text and loads the text into target; the load's result.
inline int RoundTrip(CXMLDict& source, CXMLDict& target) {
    const std::wstring text = Saved(source);
    return text.empty() ? -1 : Load(target, text);
}

// An element's value, or fallback where there is no element or it holds another kind.
template <class T>
T ValueAt(CXMLElement* element, T fallback) {
    if (element != nullptr) element->GetValue(&fallback);
    return fallback;
}
inline __int64 IntAt(CXMLDict& dict, const wchar_t* path) { return ValueAt<__int64>(dict[path], -1); }
inline CString TextAt(CXMLDict& dict, const wchar_t* path) { return ValueAt(dict[path], CString(L"?")); }

// Adds a child to a dictionary (under key) or to the end of an array; gives the child under that
// key, which is an older one when the key was already there.
inline CXMLElement* AddChild(CXMLElement* container, const CString& key, XMLNodeType kind, std::uint64_t value) {
    if (container->GetIniNodeType() == eXMLDict) {
        auto* parent = static_cast<CXMLDict*>(container);
        parent->AddElement(key, kind, value);
        return parent->GetChild(key);
    }
    auto* parent = static_cast<CXMLArray*>(container);
    parent->AddElement(-1, kind, value);
    return (*parent)[static_cast<int>(parent->GetSize()) - 1];
}

// Grows a tree from dict without recursion: a container at some depth gets children(depth)
// children, each made by add(container, depth); those it gives back that are containers grow in
// turn (it gives null for a child that should not).
template <class Children, class Add>
void GrowTree(CXMLDict& dict, Children children, Add add) {
    struct Level { CXMLElement* container; int depth; };
    std::vector<Level> pending{{&dict, 0}};
    while (!pending.empty()) {
        const Level level = pending.back();
        pending.pop_back();
        const int count = children(level.depth);
        for (int i = 0; i < count; ++i) {
            CXMLElement* child = add(level.container, level.depth);
            if (child != nullptr && (child->GetIniNodeType() == eXMLArray || child->GetIniNodeType() == eXMLDict))
                pending.push_back({child, level.depth + 1});
        }
    }
}

// Fills dict with a random tree whose values survive the XML form exactly: 32-bit integers,
// reals with at most six decimals, booleans 0 or 1, whole-second dates, texts with markup
// characters and characters beyond ASCII. Containers are never empty.
inline void FillRandomTree(CXMLDict& dict, unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const wchar_t* texts[] = {L"plain", L"a < b & c > d", L"\"quoted\" 'single'", L"caf\u00e9 \u65e5\u672c",
                              L"inner  spaces", L"line\nbreak", L"]]> marker"};
    int made = 0;
    GrowTree(dict, [&](int) { return 1 + pick(5); }, [&](CXMLElement* container, int depth) {
        const auto kind = static_cast<XMLNodeType>(pick(depth < 3 ? 8 : 6));
        CString text;
        std::uint64_t value = 0;
        switch (kind) {
            case eXMLBool: value = static_cast<std::uint64_t>(pick(2)); break;
            case eXMLInt: value = static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(random()))); break;
            case eXMLReal: text.Format(L"%d.%06d", pick(2000000) - 1000000, pick(1000000)); break;
            case eXMLString:
            case eXMLStringPSW: text = texts[pick(7)]; break;
            case eXMLDate:
                text.Format(L"%04d-%02d-%02d %02d:%02d:%02d", 1900 + pick(200), 1 + pick(12),
                            1 + pick(28), pick(24), pick(60), pick(60));
                break;
            default: break;
        }
        if (!text.IsEmpty()) value = Text(text.GetString());
        return AddChild(container, CString(L"k" + std::to_wstring(made++)), kind, value);
    });
}

// The number of entries in a folder.
inline std::size_t EntryCount(const TempDir& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.FsPath()), {}));
}

}  // namespace cu::test
