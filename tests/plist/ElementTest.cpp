// The scalar elements: values, kinds, and the operations that do not fit a kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "commonutility/XMLDict.h"
#include "support/Printers.h"

namespace {

// String elements are made by the containers only; this dictionary makes one of each kind.
struct Scalars {
    CXMLDict owner;
    CXMLElement* boolean;
    CXMLElement* integer;
    CXMLElement* real;
    CXMLElement* string;
    CXMLElement* password;
    CXMLElement* date;

    Scalars() {
        owner.AddElement(L"0", eXMLBool, 1);
        owner.AddElement(L"1", eXMLInt, 42);
        owner.AddElement(L"2", eXMLReal, reinterpret_cast<std::uintptr_t>(L"1.5"));
        owner.AddElement(L"3", eXMLString, reinterpret_cast<std::uintptr_t>(L"text"));
        owner.AddElement(L"4", eXMLStringPSW, reinterpret_cast<std::uintptr_t>(L"secret"));
        owner.AddElement(L"5", eXMLDate, reinterpret_cast<std::uintptr_t>(L"2009-05-01 10:20:30"));
        boolean = owner[L"0"];
        integer = owner[L"1"];
        real = owner[L"2"];
        string = owner[L"3"];
        password = owner[L"4"];
        date = owner[L"5"];
    }
};

TEST(ScalarElement, KindsInTableOrder) {
    Scalars s;
    const CXMLElement* elements[] = {s.boolean, s.integer, s.real, s.string, s.password, s.date};
    for (int kind = 0; kind < 6; ++kind) {
        SCOPED_TRACE(kind);
        ASSERT_NE(elements[kind], nullptr);
        EXPECT_EQ(elements[kind]->GetIniNodeType(), kind);
    }
}

TEST(ScalarElement, BooleanKeepsAllBits) {
    CXMLBool boolean(7);
    int value = 0;
    EXPECT_EQ(boolean.GetValue(&value), 1);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(boolean.SetValue(-1L), 1);
    boolean.GetValue(&value);
    EXPECT_EQ(value, -1);
}

TEST(ScalarElement, IntegerGivesLow32BitsAsLong) {
    CXMLInt integer(4294967297LL);
    long low = 0;
    EXPECT_EQ(integer.GetValue(&low), 1);
    EXPECT_EQ(low, 1);
    __int64 full = 0;
    EXPECT_EQ(integer.GetValue(&full), 1);
    EXPECT_EQ(full, 4294967297LL);

    integer.SetValue(static_cast<__int64>(0xFFFFFFFF80000000ULL));
    integer.GetValue(&low);
    EXPECT_EQ(low, -2147483647L - 1);
}

// Every getter and setter that does not fit the kind answers 0 and leaves both sides alone.
TEST(ScalarElement, OperationsOfAnotherKindChangeNothing) {
    Scalars s;
    CXMLElement* elements[] = {s.boolean, s.integer, s.real, s.string, s.password, s.date};
    for (CXMLElement* element : elements) {
        const XMLNodeType kind = element->GetIniNodeType();
        SCOPED_TRACE(kind);
        int i = 11;
        long l = 12;
        __int64 ll = 13;
        double d = 14.0;
        CString text(L"unchanged");
        CCommonDateTime date;
        date = 15.0;
        if (kind != eXMLBool) EXPECT_EQ(element->GetValue(&i), 0);
        if (kind != eXMLInt) EXPECT_EQ(element->GetValue(&l), 0);
        if (kind != eXMLInt) EXPECT_EQ(element->GetValue(&ll), 0);
        if (kind != eXMLReal) EXPECT_EQ(element->GetValue(&d), 0);
        if (kind != eXMLString && kind != eXMLStringPSW) EXPECT_EQ(element->GetValue(&text), 0);
        if (kind != eXMLDate) EXPECT_EQ(element->GetValue(&date), 0);
        EXPECT_EQ(i, 11);
        EXPECT_EQ(l, 12);
        EXPECT_EQ(ll, 13);
        EXPECT_EQ(d, 14.0);
        EXPECT_EQ(text, L"unchanged");
        EXPECT_EQ(date.m_dt, 15.0);

        // Through the base, a boolean has no 64-bit setter: only CXMLBool::SetValue(long).
        if (kind != eXMLInt) EXPECT_EQ(element->SetValue(static_cast<__int64>(5)), 0);
        if (kind != eXMLReal) EXPECT_EQ(element->SetValue(2.0), 0);
        if (kind != eXMLString && kind != eXMLStringPSW) EXPECT_EQ(element->SetValue(L"x"), 0);
        if (kind != eXMLDate) EXPECT_EQ(element->SetValue(date), 0);
    }
    int flag = 0;
    s.boolean->GetValue(&flag);
    EXPECT_EQ(flag, 1);
    __int64 number = 0;
    s.integer->GetValue(&number);
    EXPECT_EQ(number, 42);
}

TEST(ScalarElement, NullReceiversGiveZero) {
    Scalars s;
    EXPECT_EQ(s.boolean->GetValue(static_cast<int*>(nullptr)), 0);
    EXPECT_EQ(s.integer->GetValue(static_cast<long*>(nullptr)), 0);
    EXPECT_EQ(s.integer->GetValue(static_cast<__int64*>(nullptr)), 0);
    EXPECT_EQ(s.real->GetValue(static_cast<double*>(nullptr)), 0);
    EXPECT_EQ(s.string->GetValue(static_cast<CString*>(nullptr)), 0);
    EXPECT_EQ(s.date->GetValue(static_cast<CCommonDateTime*>(nullptr)), 0);
}

TEST(ScalarElement, StringSetters) {
    Scalars s;
    CXMLElement* texts[] = {s.string, s.password};
    for (CXMLElement* text : texts) {
        SCOPED_TRACE(text->GetIniNodeType());
        CString value;
        EXPECT_EQ(text->SetValue(static_cast<const wchar_t*>(nullptr)), 0);
        text->GetValue(&value);
        EXPECT_FALSE(value.IsEmpty());

        EXPECT_EQ(text->SetValue(L"a<b & \"c\""), 1);
        EXPECT_EQ(text->GetValue(&value), 1);
        EXPECT_EQ(value, L"a<b & \"c\"");

        EXPECT_EQ(text->SetValue(L""), 1);
        EXPECT_EQ(text->GetValue(&value), 1);
        EXPECT_TRUE(value.IsEmpty());
    }
}

TEST(ScalarElement, PasswordIsHeldInPlainText) {
    Scalars s;
    CString value;
    EXPECT_EQ(s.password->GetValue(&value), 1);
    EXPECT_EQ(value, L"secret");
}

TEST(ScalarElement, StringCopiesShareNothing) {
    Scalars s;
    auto& original = static_cast<CXMLString&>(*s.string);
    CXMLString copy(original);
    copy.SetValue(L"changed");
    CString value;
    original.GetValue(&value);
    EXPECT_EQ(value, L"text");

    original = copy;
    original.GetValue(&value);
    EXPECT_EQ(value, L"changed");
    original = original;
    original.GetValue(&value);
    EXPECT_EQ(value, L"changed");
}

TEST(ScalarElement, DateDefaultsAndStatus) {
    CXMLDate date;
    CCommonDateTime value;
    value = 100.0;
    EXPECT_EQ(date.GetValue(&value), 1);
    EXPECT_EQ(value.m_dt, 0.0);
    EXPECT_EQ(value.GetStatus(), COleDateTime::valid);
    long y, mo, d, h, mi, sec, dow;
    EXPECT_EQ(value.GetDateTime(y, mo, d, h, mi, sec, dow), 1);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 18991230);

    CCommonDateTime invalid;
    invalid.SetStatus(COleDateTime::invalid);
    EXPECT_EQ(date.SetValue(invalid), 1);
    date.GetValue(&value);
    EXPECT_EQ(value.GetStatus(), COleDateTime::invalid);
}

TEST(ScalarElement, RealHoldsAnyDouble) {
    CXMLReal real;
    double value = 1.0;
    EXPECT_EQ(real.GetValue(&value), 1);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(real.SetValue(-0.1), 1);
    real.GetValue(&value);
    EXPECT_EQ(value, -0.1);
}

TEST(ScalarElement, DestroyedThroughTheBase) {
    std::unique_ptr<CXMLElement> element(new CXMLInt(3));
    EXPECT_EQ(element->GetIniNodeType(), eXMLInt);
}

}  // namespace
