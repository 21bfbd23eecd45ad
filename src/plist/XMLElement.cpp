// The abstract element's base operations and the six scalar elements.
#include "commonutility/XMLElement.h"

#include <new>

#include "plist/ElementHeap.h"

// The base versions answer every operation with "not for this kind": 0 or null, nothing changed.
CXMLElement::~CXMLElement() = default;

namespace {

void* NewElement(std::size_t size, std::size_t alignment) {
    void* element = cu::detail::AllocateElement(size, alignment);
    if (element == nullptr) throw std::bad_alloc();
    return element;
}

}  // namespace

// Without an alignment, new asks for its default alignment, which any class not aligned beyond
// it needs at most; more aligned classes come with their alignment.
void* CXMLElement::operator new(std::size_t size) { return NewElement(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__); }
void* CXMLElement::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return cu::detail::AllocateElement(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__);
}
void* CXMLElement::operator new(std::size_t size, std::align_val_t alignment) {
    return NewElement(size, static_cast<std::size_t>(alignment));
}
void* CXMLElement::operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return cu::detail::AllocateElement(size, static_cast<std::size_t>(alignment));
}
void* CXMLElement::operator new(std::size_t size, cu::detail::OwnClass) noexcept {
    return cu::detail::AllocateElement(size, cu::detail::kPackedAlignment);
}

// A delete passes the size of the element's class; the forms that undo a constructor that threw
// have none.
void CXMLElement::operator delete(void* element, std::size_t size) noexcept { cu::detail::FreeElement(element, size); }
void CXMLElement::operator delete(void* element, std::size_t size, std::align_val_t) noexcept {
    cu::detail::FreeElement(element, size);
}
void CXMLElement::operator delete(void* element, const std::nothrow_t&) noexcept { cu::detail::FreeElement(element, 0); }
void CXMLElement::operator delete(void* element, std::align_val_t, const std::nothrow_t&) noexcept {
    cu::detail::FreeElement(element, 0);
}
void CXMLElement::operator delete(void* element, cu::detail::OwnClass) noexcept { cu::detail::FreeElement(element, 0); }

unsigned int CXMLElement::GetSize() const { return 0; }
CXMLElement* CXMLElement::operator[](const CString&) { return nullptr; }
CXMLElement* CXMLElement::operator[](int) const { return nullptr; }
int CXMLElement::RemoveElement(const CString&) { return 0; }
int CXMLElement::RemoveElement(int) { return 0; }
int CXMLElement::LoadFromFile(const wchar_t*) { return 0; }
int CXMLElement::SaveToFile(const wchar_t*) { return 0; }
int CXMLElement::AddElement(const CString&, XMLNodeType, unsigned __int64) { return 0; }
int CXMLElement::AddElement(int, XMLNodeType, unsigned __int64) { return 0; }
int CXMLElement::GetValue(CCommonDateTime*) const { return 0; }
int CXMLElement::GetValue(CString*) const { return 0; }
int CXMLElement::GetValue(double*) const { return 0; }
int CXMLElement::GetValue(__int64*) const { return 0; }
int CXMLElement::GetValue(long*) const { return 0; }
int CXMLElement::GetValue(int*) const { return 0; }
int CXMLElement::SetValue(const CCommonDateTime&) { return 0; }
int CXMLElement::SetValue(const wchar_t*) { return 0; }
int CXMLElement::SetValue(double) { return 0; }
int CXMLElement::SetValue(__int64) { return 0; }

namespace {

// Writes value to *out unless out is null; the result of every getter.
template <typename T, typename V>
int Deliver(T* out, const V& value) {
    if (out == nullptr) return 0;
    *out = static_cast<T>(value);
    return 1;
}

// The string classes' shared behaviour.
int SetText(CString& text, const wchar_t* value) {
    if (value == nullptr) return 0;
    text = value;
    return 1;
}

}  // namespace

CXMLBool::CXMLBool(unsigned long value) : m_value(static_cast<std::uint32_t>(value)) {}
CXMLBool::~CXMLBool() = default;
XMLNodeType CXMLBool::GetIniNodeType() const { return eXMLBool; }
int CXMLBool::GetValue(int* out) const { return Deliver(out, static_cast<std::int32_t>(m_value)); }

int CXMLBool::SetValue(long value) {
    m_value = static_cast<std::uint32_t>(value);
    return 1;
}

CXMLInt::CXMLInt(__int64 value) : m_value(value) {}
CXMLInt::~CXMLInt() = default;
XMLNodeType CXMLInt::GetIniNodeType() const { return eXMLInt; }
int CXMLInt::GetValue(__int64* out) const { return Deliver(out, m_value); }
int CXMLInt::GetValue(long* out) const { return Deliver(out, static_cast<std::int32_t>(m_value)); }

int CXMLInt::SetValue(__int64 value) {
    m_value = value;
    return 1;
}

CXMLReal::CXMLReal() = default;
CXMLReal::~CXMLReal() = default;
XMLNodeType CXMLReal::GetIniNodeType() const { return eXMLReal; }
int CXMLReal::GetValue(double* out) const { return Deliver(out, m_value); }

int CXMLReal::SetValue(double value) {
    m_value = value;
    return 1;
}

CXMLString::CXMLString(wchar_t* text) : m_text(text) {}
CXMLString::CXMLString(const CXMLString& other) : CXMLElement(), m_text(other.m_text) {}

CXMLString& CXMLString::operator=(const CXMLString& other) {
    m_text = other.m_text;
    return *this;
}

CXMLString::~CXMLString() = default;
XMLNodeType CXMLString::GetIniNodeType() const { return eXMLString; }
int CXMLString::GetValue(CString* out) const { return Deliver(out, m_text); }
int CXMLString::SetValue(const wchar_t* value) { return SetText(m_text, value); }

CXMLStringPSW::CXMLStringPSW(wchar_t* text) : m_text(text) {}
CXMLStringPSW::CXMLStringPSW(const CXMLStringPSW& other) : CXMLElement(), m_text(other.m_text) {}

CXMLStringPSW& CXMLStringPSW::operator=(const CXMLStringPSW& other) {
    m_text = other.m_text;
    return *this;
}

CXMLStringPSW::~CXMLStringPSW() = default;
XMLNodeType CXMLStringPSW::GetIniNodeType() const { return eXMLStringPSW; }
int CXMLStringPSW::GetValue(CString* out) const { return Deliver(out, m_text); }
int CXMLStringPSW::SetValue(const wchar_t* value) { return SetText(m_text, value); }

CXMLDate::CXMLDate() = default;
CXMLDate::~CXMLDate() = default;
XMLNodeType CXMLDate::GetIniNodeType() const { return eXMLDate; }
int CXMLDate::GetValue(CCommonDateTime* out) const { return Deliver(out, m_value); }

int CXMLDate::SetValue(const CCommonDateTime& value) {
    m_value = value;
    return 1;
}
