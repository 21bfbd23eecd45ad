// CXMLDict: children by key, the key-path walk, and allocation inside the library.
#include <new>
#include <utility>

#include "commonutility/XMLDict.h"
#include "plist/ElementTree.h"

using cu::detail::ElementFactory;
using cu::detail::TreeAccess;

namespace {

// Walks a key path: while the path's first '/' stands after at least one character and the
// text before it is a key of the current map, that key's dictionary becomes the current map and
// the text after the '/' the path. Gives the map and the remaining key to look up as a whole, or
// false when there is no map or a head key names a child that is not a dictionary.
bool WalkPath(CXMLDict::EntryMap* map, const CString& path, CXMLDict::EntryMap*& lastMap,
              CString& lastKey) {
    if (map == nullptr) return false;
    // The rest of the path starts at `start`; it is never copied whole, so a long path costs time
    // in proportion to its length.
    int start = 0;
    for (int slash = path.Find(L'/', start); slash > start; slash = path.Find(L'/', start)) {
        const auto head = map->find(path.Mid(start, slash - start));
        if (head == map->end()) break;
        auto* dict = dynamic_cast<CXMLDict*>(head->second);
        if (dict == nullptr) return false;
        start = slash + 1;
        map = TreeAccess::Entries(*dict);
        if (map == nullptr) return false;
    }
    lastMap = map;
    lastKey = path.Mid(start);
    return true;
}

}  // namespace

CXMLDict::CXMLDict() : m_pEntries(new (std::nothrow) EntryMap) {}

CXMLDict::CXMLDict(const CXMLDict& other) : CXMLElement(), m_pEntries(new (std::nothrow) EntryMap) {
    if (m_pEntries != nullptr) TreeAccess::CopyTree(other, *this);
}

// The copy is made before the old children go, so assigning from one of this dictionary's own
// descendants is safe.
CXMLDict& CXMLDict::operator=(const CXMLDict& other) {
    if (this != &other) {
        CXMLDict copy(other);
        std::swap(m_pEntries, copy.m_pEntries);
    }
    return *this;
}

CXMLDict::~CXMLDict() {
    TreeAccess::Clear(*this);
    delete m_pEntries;
}

int CXMLDict::AddElement(const CString& key, XMLNodeType kind, unsigned __int64 value) {
    CXMLElement* child = ElementFactory::Make(kind, value);
    return child != nullptr && TreeAccess::Insert(*this, key, child) != nullptr ? 1 : 0;
}

CXMLElement* CXMLDict::operator[](const CString& path) {
    EntryMap* map;
    CString key;
    if (!WalkPath(m_pEntries, path, map, key)) return nullptr;
    const auto found = map->find(key);
    return found != map->end() ? found->second : nullptr;
}

int CXMLDict::RemoveElement(const CString& path) {
    EntryMap* map;
    CString key;
    if (!WalkPath(m_pEntries, path, map, key)) return 0;
    const auto found = map->find(key);
    if (found == map->end()) return 0;
    CXMLElement* child = found->second;
    map->erase(found);
    TreeAccess::Destroy({child});
    return 1;
}

XMLNodeType CXMLDict::GetIniNodeType() const { return eXMLDict; }

std::vector<CString> CXMLDict::GetKeys() const {
    std::vector<CString> keys;
    if (m_pEntries == nullptr) return keys;
    keys.reserve(m_pEntries->size());
    for (const auto& entry : *m_pEntries) keys.push_back(entry.first);
    return keys;
}

CXMLElement* CXMLDict::GetChild(const CString& key) const {
    if (m_pEntries == nullptr) return nullptr;
    const auto found = m_pEntries->find(key);
    return found != m_pEntries->end() ? found->second : nullptr;
}

CXMLDict* CXMLDict::CXMLDictAlloc() { return new (std::nothrow) CXMLDict; }

void CXMLDict::CXMLDictFree(CXMLDict* dict) { delete dict; }
