// CXMLArray: children by position.
#include <new>
#include <utility>

#include "commonutility/XMLDict.h"
#include "plist/ElementTree.h"

using cu::detail::ElementFactory;
using cu::detail::TreeAccess;

CXMLArray::CXMLArray() : m_pChildren(new (std::nothrow) std::vector<CXMLElement*>) {}

CXMLArray::CXMLArray(const CXMLArray& other)
    : CXMLElement(), m_pChildren(new (std::nothrow) std::vector<CXMLElement*>) {
    if (m_pChildren != nullptr) TreeAccess::CopyTree(other, *this);
}

// The copy is made before the old children go, so assigning from one of this array's own
// descendants is safe.
CXMLArray& CXMLArray::operator=(const CXMLArray& other) {
    if (this != &other) {
        CXMLArray copy(other);
        std::swap(m_pChildren, copy.m_pChildren);
    }
    return *this;
}

CXMLArray::~CXMLArray() {
    if (m_pChildren != nullptr) TreeAccess::Destroy(std::move(*m_pChildren));
    delete m_pChildren;
}

unsigned int CXMLArray::GetSize() const {
    return m_pChildren != nullptr ? static_cast<unsigned int>(m_pChildren->size()) : 0;
}

CXMLElement* CXMLArray::operator[](int index) const {
    if (index < 0 || static_cast<unsigned int>(index) >= GetSize()) return nullptr;
    return (*m_pChildren)[static_cast<std::size_t>(index)];
}

int CXMLArray::RemoveElement(int index) {
    if (index < 0 || static_cast<unsigned int>(index) >= GetSize()) return 0;
    CXMLElement* child = (*m_pChildren)[static_cast<std::size_t>(index)];
    m_pChildren->erase(m_pChildren->begin() + index);
    TreeAccess::Destroy({child});
    return 1;
}

int CXMLArray::AddElement(int index, XMLNodeType kind, unsigned __int64 value) {
    CXMLElement* child = ElementFactory::Make(kind, value);
    return child != nullptr && TreeAccess::Insert(*this, index, child) != nullptr ? 1 : 0;
}

XMLNodeType CXMLArray::GetIniNodeType() const { return eXMLArray; }
