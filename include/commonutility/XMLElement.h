// The property-list element model: the element kinds, the abstract element and the six scalars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "commonutility/CString.h"
#include "commonutility/DateTime.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

namespace cu::detail {
struct ElementFactory;
enum class OwnClass : int;  // tags the allocation the library makes its own classes with
}

// The kind of an element; the comment gives its tag name in the XML form.
enum XMLNodeType : int {
    eXMLBool = 0,       // "boolean"
    eXMLInt = 1,        // "integer"
    eXMLReal = 2,       // "real"
    eXMLString = 3,     // "string"
    eXMLStringPSW = 4,  // "stringpsw"
    eXMLDate = 5,       // "date"
    eXMLArray = 6,      // "array"
    eXMLDict = 7,       // "dict"
    eXMLNone = 8,       // a tag that names no kind; no element has it
};

// One interface for every kind: each class answers the operations of its kind, every other
// operation is the base version, which changes nothing and gives 0 or null. Getters take a
// pointer to the receiver: a null receiver gives 0 and nothing is written.
class COMMONUTILITY_API CXMLElement {
protected:
    CXMLElement() = default;

    // Container operations, made public by the containers that answer them.
    virtual unsigned int GetSize() const;
    virtual CXMLElement* operator[](const CString& path);
    virtual CXMLElement* operator[](int index) const;
    virtual int RemoveElement(const CString& path);
    virtual int RemoveElement(int index);
    virtual int LoadFromFile(const wchar_t* path);
    virtual int SaveToFile(const wchar_t* path);
    virtual int AddElement(const CString& key, XMLNodeType kind, ULONGLONG value);
    virtual int AddElement(int index, XMLNodeType kind, ULONGLONG value);

public:
    virtual ~CXMLElement();
    virtual XMLNodeType GetIniNodeType() const = 0;

    // Elements are allocated and freed by the library, whichever module creates or deletes them;
    // the elements of a loaded or copied tree are laid out together. Besides these, only the
    // standard placement new is available to a program.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t size, std::align_val_t alignment);
    static void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void* element, std::size_t size) noexcept;
    static void operator delete(void* element, std::size_t size, std::align_val_t) noexcept;
    static void operator delete(void* element, const std::nothrow_t&) noexcept;
    static void operator delete(void* element, std::align_val_t, const std::nothrow_t&) noexcept;
    static void operator delete(void*, void*) noexcept {}

    virtual int GetValue(CCommonDateTime* out) const;
    virtual int GetValue(CString* out) const;
    virtual int GetValue(double* out) const;
    virtual int GetValue(__int64* out) const;
    virtual int GetValue(long* out) const;
    virtual int GetValue(int* out) const;
    virtual int SetValue(const CCommonDateTime& value);
    virtual int SetValue(const wchar_t* value);
    virtual int SetValue(double value);
    virtual int SetValue(__int64 value);

private:
    // The library's own classes, made by its factory, need no more than the alignment of pointers
    // and 64-bit numbers, so their elements are packed closer than new's default alignment allows.
    friend struct cu::detail::ElementFactory;
    static void* operator new(std::size_t size, cu::detail::OwnClass) noexcept;
    static void operator delete(void* element, cu::detail::OwnClass) noexcept;

    // An element is never copied through the base.
    CXMLElement(const CXMLElement&) = delete;
    CXMLElement& operator=(const CXMLElement&) = delete;
};

// A boolean: an unsigned 32-bit value stored as given (7 stays 7), written as TRUE when not 0.
class COMMONUTILITY_API CXMLBool : public CXMLElement {
public:
    CXMLBool(unsigned long value);
    ~CXMLBool() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    int GetValue(int* out) const override;
    // Stores the low 32 bits. Only through a CXMLBool: the base's SetValue(__int64) gives 0.
    // It hides the base's overloads on purpose (with them, SetValue(1) would be ambiguous).
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#endif
    virtual int SetValue(long value);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

private:
    std::uint32_t m_value;
};

// A signed 64-bit integer.
class COMMONUTILITY_API CXMLInt : public CXMLElement {
public:
    CXMLInt(__int64 value);
    ~CXMLInt() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    int GetValue(__int64* out) const override;
    // The low 32 bits, sign taken from bit 31; a value that does not fit is cut (result 1).
    int GetValue(long* out) const override;
    int SetValue(__int64 value) override;

private:
    std::int64_t m_value;
};

// A double; 0.0 when new.
class COMMONUTILITY_API CXMLReal : public CXMLElement {
public:
    CXMLReal();
    ~CXMLReal() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    int GetValue(double* out) const override;
    int SetValue(double value) override;

private:
    double m_value = 0.0;
};

// A text. Made by the containers; copies share nothing with their source.
class COMMONUTILITY_API CXMLString : public CXMLElement {
public:
    CXMLString(const CXMLString& other);
    CXMLString& operator=(const CXMLString& other);
    ~CXMLString() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    // 0 when the receiver is null.
    int GetValue(CString* out) const override;
    int SetValue(const wchar_t* value) override;

protected:
    explicit CXMLString(wchar_t* text);  // a null text gives the empty text

private:
    friend struct cu::detail::ElementFactory;
    CString m_text;
};

// A password text: the same as CXMLString apart from its kind. It is held and written in plain
// text; nothing scrambles it.
class COMMONUTILITY_API CXMLStringPSW : public CXMLElement {
public:
    CXMLStringPSW(const CXMLStringPSW& other);
    CXMLStringPSW& operator=(const CXMLStringPSW& other);
    ~CXMLStringPSW() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    int GetValue(CString* out) const override;
    int SetValue(const wchar_t* value) override;

protected:
    explicit CXMLStringPSW(wchar_t* text);

private:
    friend struct cu::detail::ElementFactory;
    CString m_text;
};

// A date; 1899-12-30 00:00:00, valid, when new. Invalid and null dates are stored like any other.
class COMMONUTILITY_API CXMLDate : public CXMLElement {
public:
    CXMLDate();
    ~CXMLDate() override;
    XMLNodeType GetIniNodeType() const override;

    using CXMLElement::GetValue;
    int GetValue(CCommonDateTime* out) const override;
    int SetValue(const CCommonDateTime& value) override;

private:
    CCommonDateTime m_value;
};
