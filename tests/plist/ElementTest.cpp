// The scalar elements: values, kinds, and the operations that do not fit a kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "commonutility/XMLDict.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using namespace cu::test;

// String elements are made by the containers only; this dictionary makes one of each kind, under
// the keys "0" to "5" in the order of their kinds.
struct Scalars : ::testing::Test {
    CXMLDict owner;
    CXMLElement* at[6] = {};
    void SetUp() override {
        const std::uint64_t values[] = {1, 42, Text(L"1.5"), Text(L"text"), Text(L"secret"),
                                        Text(L"2009-05-01 10:20:30")};
        for (int kind = 0; kind < 6; ++kind)
            at[kind] = AddChild(&owner, CString(std::to_wstring(kind)), static_cast<XMLNodeType>(kind), values[kind]);
    }
};

// Every getter and setter that does not fit the kind answers 0 and leaves both sides alone; the
// getter that fits gives 0 for a null receiver.
TEST_F(Scalars, OperationsOfAnotherKindChangeNothing) {
    for (int kind = 0; kind < 6; ++kind) {
        SCOPED_TRACE(kind);
        CXMLElement* element = at[kind];
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->GetIniNodeType(), kind);
        int i = 11;
        long l = 12;
        __int64 ll = 13;
        double d = 14.0;
        CString text(L"unchanged");
        CCommonDateTime date;
        date = 15.0;
        EXPECT_EQ(element->GetValue(&i), kind == eXMLBool ? 1 : 0);
        EXPECT_EQ(element->GetValue(&l), kind == eXMLInt ? 1 : 0);
        EXPECT_EQ(element->GetValue(&ll), kind == eXMLInt ? 1 : 0);
        EXPECT_EQ(element->GetValue(&d), kind == eXMLReal ? 1 : 0);
        EXPECT_EQ(element->GetValue(&text), kind == eXMLString || kind == eXMLStringPSW ? 1 : 0);
        EXPECT_EQ(element->GetValue(&date), kind == eXMLDate ? 1 : 0);
        if (kind != eXMLBool) EXPECT_EQ(i, 11);
        if (kind != eXMLReal) EXPECT_EQ(d, 14.0);
        if (kind != eXMLString && kind != eXMLStringPSW) EXPECT_EQ(text, L"unchanged");
        if (kind != eXMLDate) EXPECT_EQ(date.m_dt, 15.0);

        // Through the base, a boolean has no 64-bit setter: only CXMLBool::SetValue(long).
        EXPECT_EQ(element->SetValue(static_cast<__int64>(5)), kind == eXMLInt ? 1 : 0);
        EXPECT_EQ(element->SetValue(2.0), kind == eXMLReal ? 1 : 0);
        EXPECT_EQ(element->SetValue(L"x"), kind == eXMLString || kind == eXMLStringPSW ? 1 : 0);
        EXPECT_EQ(element->SetValue(date), kind == eXMLDate ? 1 : 0);
    }
    EXPECT_EQ(ValueAt(at[eXMLBool], 0), 1);
    EXPECT_EQ(at[eXMLInt]->GetValue(static_cast<__int64*>(nullptr)), 0);
    EXPECT_EQ(at[eXMLString]->GetValue(static_cast<CString*>(nullptr)), 0);
}

// The number constructors are plain converting constructors, so code may copy-initialise an
// element from a number; the elements keep every bit they are given.
TEST(ScalarElement, NumbersInitialiseElementsAndKeepTheirBits) {
    static_assert(std::is_convertible_v<unsigned long, CXMLBool>);
    static_assert(std::is_convertible_v<__int64, CXMLInt>);
    CXMLBool boolean = 7;
    EXPECT_EQ(ValueAt(&boolean, 0), 7);
    EXPECT_EQ(boolean.SetValue(-1L), 1);
    EXPECT_EQ(ValueAt(&boolean, 0), -1);

    // GetValue(long*) gives the low 32 bits with their sign, whatever the size of long.
    CXMLInt integer = 4294967297LL;
    EXPECT_EQ(ValueAt(&integer, 0L), 1);
    EXPECT_EQ(ValueAt<__int64>(&integer, 0), 4294967297LL);
    integer.SetValue(static_cast<__int64>(0xFFFFFFFF80000000ULL));
    EXPECT_EQ(ValueAt(&integer, 0L), -2147483647L - 1);
}

TEST_F(Scalars, TextsAreHeldAsGivenAndCopiesShareNothing) {
    for (int kind : {eXMLString, eXMLStringPSW}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(at[kind]->SetValue(static_cast<const wchar_t*>(nullptr)), 0);
        EXPECT_EQ(at[kind]->SetValue(L""), 1);
        EXPECT_EQ(ValueAt(at[kind], CString(L"?")), L"");
    }

    auto& original = static_cast<CXMLString&>(*at[eXMLString]);
    original.SetValue(L"text");
    CXMLString copy(original);
    copy.SetValue(L"changed");
    EXPECT_EQ(ValueAt<CString>(&original, L"?"), L"text");
    original = copy;
    original = original;
    EXPECT_EQ(ValueAt<CString>(&original, L"?"), L"changed");
}

// A program may derive its own elements, with any alignment, or place one in storage of its own.
TEST(ScalarElement, ProgramsMakeElementsOfAnyAlignmentAndPlacement) {
    struct Lanes : CXMLReal {
        alignas(64) double lanes[8] = {};
    };
    auto* lanes = new Lanes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(lanes->lanes) % 64, 0u);
    delete static_cast<CXMLElement*>(lanes);  // through the base, as a container deletes

    alignas(CXMLInt) unsigned char storage[sizeof(CXMLInt)];
    auto* placed = new (storage) CXMLInt(5);
    EXPECT_EQ(ValueAt<__int64>(placed, 0), 5);
    placed->~CXMLInt();
}

}  // namespace
