// The child factory, and destruction and copying of element trees without recursion.
#include "plist/ElementTree.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <new>
#include <utility>

#include "common/DateText.h"
#include "plist/ElementHeap.h"
#include "plist/PlistText.h"

namespace cu::detail {
namespace {

// The factory's allocation, which packs elements at kPackedAlignment.
constexpr OwnClass kOwn{};
constexpr bool Packable(std::size_t alignment) { return alignment <= kPackedAlignment; }
static_assert(Packable(alignof(CXMLBool)) && Packable(alignof(CXMLInt)) && Packable(alignof(CXMLReal)) &&
              Packable(alignof(CXMLString)) && Packable(alignof(CXMLStringPSW)) && Packable(alignof(CXMLDate)) &&
              Packable(alignof(CXMLArray)) && Packable(alignof(CXMLDict)));

const wchar_t* TextOf(unsigned __int64 value) {
    return reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(value));
}

// A number as C atof reads UTF-8 text. Where from_chars reads as atof does (quickReals, see
// ElementFactory::QuickReals), a plain decimal number ("-12.5", "3") goes to from_chars, many
// times faster; anything else to atof.
double ReadReal(const char* text, bool quickReals) {
    if (quickReals) {
        const auto digits = [](const char* p) {
            while (*p >= '0' && *p <= '9') ++p;
            return p;
        };
        const char* const integer = text + (*text == '-' ? 1 : 0);
        const char* end = digits(integer);
        bool plain = end != integer;
        if (plain && *end == '.') {
            const char* const fraction = end + 1;
            end = digits(fraction);
            plain = end != fraction;
        }
        double value = 0;
        if (plain && *end == '\0') {
            const auto [stop, error] = std::from_chars(text, end, value);
            if (error == std::errc() && stop == end) return value;
        }
    }
    return std::atof(text);
}

// The same for wide text. A number is short and ASCII, so that case is narrowed on the stack.
double ReadReal(const wchar_t* text) {
    char narrow[64];
    std::size_t length = 0;
    while (length < sizeof narrow - 1 && text[length] != 0 && static_cast<std::uint32_t>(text[length]) < 0x80) {
        narrow[length] = static_cast<char>(text[length]);
        ++length;
    }
    if (text[length] != 0) return std::atof(CString(text).ToUtf8().c_str());
    narrow[length] = '\0';
    return ReadReal(narrow, false);
}

struct CopyJob {
    const CXMLElement* source;
    CXMLElement* target;
};

bool IsContainer(const CXMLElement& element) {
    const XMLNodeType kind = element.GetIniNodeType();
    return kind == eXMLArray || kind == eXMLDict;
}

// Copies the children of job.source into job.target, one level; nested containers are queued.
void CopyLevel(const CopyJob& job, std::deque<CopyJob>& jobs) {
    if (job.source->GetIniNodeType() == eXMLArray) {
        auto& source = static_cast<const CXMLArray&>(*job.source);
        auto* target = TreeAccess::Children(static_cast<CXMLArray&>(*job.target));
        if (target == nullptr) return;
        for (unsigned int i = 0; i < source.GetSize(); ++i) {
            const CXMLElement* child = source[static_cast<int>(i)];
            CXMLElement* copy = child ? ElementFactory::CloneShallow(*child) : nullptr;
            if (copy == nullptr) continue;
            target->push_back(copy);
            if (IsContainer(*copy)) jobs.push_back({child, copy});
        }
    } else {
        auto* source = TreeAccess::Entries(const_cast<CXMLDict&>(static_cast<const CXMLDict&>(*job.source)));
        auto* target = TreeAccess::Entries(static_cast<CXMLDict&>(*job.target));
        if (source == nullptr || target == nullptr) return;
        for (const auto& [key, child] : *source) {
            CXMLElement* copy = ElementFactory::CloneShallow(*child);
            if (copy == nullptr) continue;
            target->emplace_hint(target->end(), key, copy);
            if (IsContainer(*copy)) jobs.push_back({child, copy});
        }
    }
}

// Containers are copied in the order they are met, level by level, as the reader makes a tree:
// the copy's elements then lie in memory in that order too.
void RunCopyJobs(std::deque<CopyJob> jobs) {
    while (!jobs.empty()) {
        const CopyJob job = jobs.front();
        jobs.pop_front();
        CopyLevel(job, jobs);
    }
}

}  // namespace

CXMLElement* ElementFactory::Make(XMLNodeType kind, unsigned __int64 value) {
    switch (kind) {
        case eXMLBool: return new (kOwn) CXMLBool(static_cast<std::uint32_t>(value));
        case eXMLInt: return new (kOwn) CXMLInt(static_cast<__int64>(value));
        case eXMLReal: {
            if (value == 0) return nullptr;
            auto* real = new (kOwn) CXMLReal;
            if (real != nullptr) real->SetValue(ReadReal(TextOf(value)));
            return real;
        }
        case eXMLString:
        case eXMLStringPSW:
            if (value == 0) return nullptr;
            try {
                auto* text = const_cast<wchar_t*>(TextOf(value));
                if (kind == eXMLString) return new (kOwn) CXMLString(text);
                return new (kOwn) CXMLStringPSW(text);
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        case eXMLDate: {
            // Text that does not parse leaves the default date; the child is made all the same.
            auto* date = new (kOwn) CXMLDate;
            CCommonDateTime parsed;
            if (date != nullptr && value != 0 && parsed.FromString(TextOf(value)) == 1)
                date->SetValue(parsed);
            return date;
        }
        case eXMLArray: return new (kOwn) CXMLArray;
        case eXMLDict: return new (kOwn) CXMLDict;
        default: return nullptr;
    }
}

CXMLElement* ElementFactory::MakeDate(std::string_view utf8) {
    // The fields stand at fixed places, which are the same in UTF-8 as in wide text as long as
    // the text up to them is ASCII; any other text is widened first.
    constexpr std::size_t kFieldsEnd = 19;
    const std::string_view head = utf8.substr(0, kFieldsEnd);
    if (std::any_of(head.begin(), head.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        try {
            const CString wide = CString::FromUtf8(utf8.data(), utf8.size());
            return Make(eXMLDate, reinterpret_cast<std::uintptr_t>(wide.GetString()));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    auto* date = new (kOwn) CXMLDate;
    CCommonDateTime parsed;
    if (date != nullptr && ReadDateText(parsed, utf8.data(), utf8.size()) == 1) date->SetValue(parsed);
    return date;
}

bool ElementFactory::QuickReals() {
    return DecimalPoint() == '.' && std::fegetround() == FE_TONEAREST;
}

CXMLElement* ElementFactory::MakeReal(const char* utf8, bool quickReals) {
    auto* real = new (kOwn) CXMLReal;
    if (real != nullptr) real->SetValue(ReadReal(utf8, quickReals));
    return real;
}

CXMLElement* ElementFactory::MakeText(XMLNodeType kind, std::string_view utf8) {
    const auto fill = [utf8](auto* element) -> CXMLElement* {
        if (element == nullptr) return nullptr;
        try {
            element->m_text = CString::FromUtf8(utf8.data(), utf8.size());
        } catch (const std::bad_alloc&) {
            delete element;
            return nullptr;
        }
        return element;
    };
    if (kind == eXMLString) return fill(new (kOwn) CXMLString(nullptr));
    return fill(new (kOwn) CXMLStringPSW(nullptr));
}

CXMLElement* ElementFactory::CloneShallow(const CXMLElement& source) {
    switch (source.GetIniNodeType()) {
        case eXMLBool: {
            int value = 0;
            source.GetValue(&value);
            return new (kOwn) CXMLBool(static_cast<std::uint32_t>(value));
        }
        case eXMLInt: {
            __int64 value = 0;
            source.GetValue(&value);
            return new (kOwn) CXMLInt(value);
        }
        case eXMLReal: {
            double value = 0.0;
            source.GetValue(&value);
            auto* real = new (kOwn) CXMLReal;
            if (real != nullptr) real->SetValue(value);
            return real;
        }
        case eXMLString: return new (kOwn) CXMLString(static_cast<const CXMLString&>(source));
        case eXMLStringPSW:
            return new (kOwn) CXMLStringPSW(static_cast<const CXMLStringPSW&>(source));
        case eXMLDate: {
            CCommonDateTime value;
            source.GetValue(&value);
            auto* date = new (kOwn) CXMLDate;
            if (date != nullptr) date->SetValue(value);
            return date;
        }
        case eXMLArray: return new (kOwn) CXMLArray;
        case eXMLDict: return new (kOwn) CXMLDict;
        default: return nullptr;
    }
}

// Each container's children are taken out of it before it is deleted, so no destructor ever
// has a subtree left to walk. Children go onto the stack last first, so that an array's children
// go from position 0 upwards and a dictionary's in ascending key order.
void TreeAccess::Destroy(std::vector<CXMLElement*> pending) {
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
        CXMLElement* element = pending.back();
        pending.pop_back();
        if (element == nullptr) continue;
        const XMLNodeType kind = element->GetIniNodeType();
        if (kind == eXMLArray) {
            if (auto* children = Children(static_cast<CXMLArray&>(*element))) {
                pending.insert(pending.end(), children->rbegin(), children->rend());
                children->clear();
            }
        } else if (kind == eXMLDict) {
            if (auto* entries = Entries(static_cast<CXMLDict&>(*element))) {
                for (auto entry = entries->rbegin(); entry != entries->rend(); ++entry)
                    pending.push_back(entry->second);
                entries->clear();
            }
        }
        delete element;
    }
}

void TreeAccess::Clear(CXMLDict& dict) {
    if (dict.m_pEntries == nullptr) return;
    std::vector<CXMLElement*> children;
    children.reserve(dict.m_pEntries->size());
    for (auto& entry : *dict.m_pEntries) children.push_back(entry.second);
    dict.m_pEntries->clear();
    Destroy(std::move(children));
}

void TreeAccess::Clear(CXMLArray& array) {
    if (array.m_pChildren == nullptr) return;
    std::vector<CXMLElement*> children;
    children.swap(*array.m_pChildren);
    Destroy(std::move(children));
}

CXMLElement* TreeAccess::Insert(CXMLDict& dict, const CString& key, CXMLElement* child) {
    CXMLDict::EntryMap* entries = dict.m_pEntries;
    if (entries == nullptr) {
        Destroy({child});
        return nullptr;
    }
    try {
        // A key above every key present goes at the end without a search, as the keys of a
        // document read in order do.
        if (entries->empty() || entries->rbegin()->first < key) {
            entries->emplace_hint(entries->end(), key, child);
            return child;
        }
        const auto [entry, inserted] = entries->try_emplace(key, child);
        if (!inserted) Destroy({child});
        return entry->second;
    } catch (const std::bad_alloc&) {
        Destroy({child});
        return nullptr;
    }
}

CXMLElement* TreeAccess::Insert(CXMLArray& array, int index, CXMLElement* child) {
    std::vector<CXMLElement*>* children = array.m_pChildren;
    if (children == nullptr) {
        Destroy({child});
        return nullptr;
    }
    try {
        if (index >= 0 && static_cast<std::size_t>(index) < children->size())
            children->insert(children->begin() + index, child);
        else
            children->push_back(child);
    } catch (const std::bad_alloc&) {
        Destroy({child});
        return nullptr;
    }
    return child;
}

void TreeAccess::CopyTree(const CXMLElement& source, CXMLElement& target) {
    const TreeScope elements;
    RunCopyJobs({{&source, &target}});
}

}  // namespace cu::detail
