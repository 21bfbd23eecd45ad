// The containers: the child factory, positions, keys, key paths, ownership and copies.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commonutility/XMLDict.h"
#include "support/Printers.h"

namespace {

std::uint64_t Text(const wchar_t* text) { return reinterpret_cast<std::uintptr_t>(text); }

CString StringOf(const CXMLElement* element) {
    CString value;
    if (element == nullptr || element->GetValue(&value) == 0) return CString(L"?");
    return value;
}

// The texts of an array's string children, joined by commas.
CString Join(const CXMLArray& array) {
    CString joined;
    for (unsigned int i = 0; i < array.GetSize(); ++i) {
        if (i > 0) joined += L',';
        joined += StringOf(array[static_cast<int>(i)]);
    }
    return joined;
}

CString Join(const std::vector<CString>& keys) {
    CString joined;
    for (std::size_t i = 0; i < keys.size(); ++i) joined += (i > 0 ? CString(L",") : CString()) + keys[i];
    return joined;
}

CXMLArray* ArrayAt(CXMLDict& dict, const wchar_t* path) {
    return dynamic_cast<CXMLArray*>(dict[path]);
}

CXMLDict* DictAt(CXMLDict& dict, const wchar_t* path) {
    return dynamic_cast<CXMLDict*>(dict[path]);
}

// An array of three strings A, B, C under the key "list".
struct ThreeStrings : ::testing::Test {
    CXMLDict root;
    CXMLArray* list = nullptr;
    void SetUp() override {
        root.AddElement(L"list", eXMLArray, 0);
        list = ArrayAt(root, L"list");
        ASSERT_NE(list, nullptr);
        for (const wchar_t* text : {L"A", L"B", L"C"}) list->AddElement(-1, eXMLString, Text(text));
    }
};

TEST_F(ThreeStrings, InsertBeforeAnIndexOrAppend) {
    EXPECT_EQ(list->AddElement(1, eXMLString, Text(L"new")), 1);
    EXPECT_EQ(Join(*list), L"A,new,B,C");
    EXPECT_EQ(list->AddElement(-1, eXMLString, Text(L"end1")), 1);
    EXPECT_EQ(list->AddElement(static_cast<int>(list->GetSize()), eXMLString, Text(L"end2")), 1);
    EXPECT_EQ(Join(*list), L"A,new,B,C,end1,end2");
}

TEST_F(ThreeStrings, RemoveClosesTheGap) {
    EXPECT_EQ(list->RemoveElement(3), 0);
    EXPECT_EQ(list->RemoveElement(-1), 0);
    EXPECT_EQ(list->RemoveElement(0), 1);
    EXPECT_EQ(Join(*list), L"B,C");
    EXPECT_EQ((*list)[2], nullptr);
    EXPECT_EQ((*list)[-1], nullptr);
}

TEST(Array, AddingToAnEmptyArrayAppends) {
    CXMLDict root;
    root.AddElement(L"a", eXMLArray, 0);
    CXMLArray* array = ArrayAt(root, L"a");
    EXPECT_EQ(array->AddElement(0, eXMLString, Text(L"x")), 1);
    EXPECT_EQ(array->GetSize(), 1u);
    EXPECT_EQ(array->GetIniNodeType(), eXMLArray);
}

TEST(Factory, ValuesByKind) {
    CXMLDict dict;
    EXPECT_EQ(dict.AddElement(L"bool", eXMLBool, 0x100000002ULL), 1);
    EXPECT_EQ(dict.AddElement(L"int", eXMLInt, static_cast<std::uint64_t>(-5LL)), 1);
    EXPECT_EQ(dict.AddElement(L"real", eXMLReal, Text(L"2.5e1")), 1);
    EXPECT_EQ(dict.AddElement(L"junk", eXMLReal, Text(L"abc")), 1);
    EXPECT_EQ(dict.AddElement(L"lead", eXMLReal, Text(L"  -3.25kg")), 1);
    EXPECT_EQ(dict.AddElement(L"psw", eXMLStringPSW, Text(L"pw")), 1);

    int flag = 0;
    dict[L"bool"]->GetValue(&flag);
    EXPECT_EQ(flag, 2);  // the low 32 bits
    __int64 number = 0;
    dict[L"int"]->GetValue(&number);
    EXPECT_EQ(number, -5);
    double real = -1.0;
    dict[L"real"]->GetValue(&real);
    EXPECT_EQ(real, 25.0);
    dict[L"junk"]->GetValue(&real);
    EXPECT_EQ(real, 0.0);
    dict[L"lead"]->GetValue(&real);
    EXPECT_EQ(real, -3.25);
    EXPECT_EQ(dict[L"psw"]->GetIniNodeType(), eXMLStringPSW);
}

TEST(Factory, DatesAreMadeEvenFromBadText) {
    CXMLDict dict;
    EXPECT_EQ(dict.AddElement(L"feb30", eXMLDate, Text(L"2009-02-30 00:00:00")), 1);
    EXPECT_EQ(dict.AddElement(L"word", eXMLDate, Text(L"yesterday")), 1);
    EXPECT_EQ(dict.AddElement(L"none", eXMLDate, 0), 1);
    EXPECT_EQ(dict.AddElement(L"good", eXMLDate, Text(L"2009:05:01T10:20:30Z")), 1);

    CCommonDateTime date;
    dict[L"feb30"]->GetValue(&date);
    EXPECT_EQ(date.GetStatus(), COleDateTime::invalid);
    for (const wchar_t* key : {L"word", L"none"}) {
        SCOPED_TRACE(CString(key).ToUtf8());
        dict[key]->GetValue(&date);
        EXPECT_EQ(date.GetStatus(), COleDateTime::valid);
        EXPECT_EQ(date.m_dt, 0.0);
    }
    dict[L"good"]->GetValue(&date);
    EXPECT_EQ(date.GetLocalizedDateString(), L"2009-05-01");
    EXPECT_EQ(date.GetHour() * 10000 + date.GetMinute() * 100 + date.GetSecond(), 102030);
}

TEST(Factory, RefusesUnknownKindsAndMissingTexts) {
    CXMLDict dict;
    EXPECT_EQ(dict.AddElement(L"k", eXMLNone, 1), 0);
    EXPECT_EQ(dict.AddElement(L"k", static_cast<XMLNodeType>(-1), 1), 0);
    EXPECT_EQ(dict.AddElement(L"k", eXMLString, 0), 0);
    EXPECT_EQ(dict.AddElement(L"k", eXMLStringPSW, 0), 0);
    EXPECT_EQ(dict.AddElement(L"k", eXMLReal, 0), 0);
    EXPECT_TRUE(dict.GetKeys().empty());

    dict.AddElement(L"a", eXMLArray, 0);
    EXPECT_EQ(ArrayAt(dict, L"a")->AddElement(-1, eXMLNone, 0), 0);
    EXPECT_EQ(ArrayAt(dict, L"a")->GetSize(), 0u);
}

TEST(Dictionary, KeysAreOrderedByUtf16CodeUnits) {
    CXMLDict dict;
    for (const wchar_t* key : {L"b", L"A", L"a", L"B", L"", L"ab"}) dict.AddElement(key, eXMLInt, 1);
    EXPECT_EQ(Join(dict.GetKeys()), L",A,B,a,ab,b");

    // A character beyond U+FFFF sorts by its lead surrogate, below U+E000 and above U+D7FF.
    CXMLDict wide;
    const CString emoji(L"\U0001F600");
    const CString privateUse(L"\uE000");
    const CString hangul(L"\uD7A3");
    for (const CString& key : {privateUse, emoji, hangul}) wide.AddElement(key, eXMLInt, 1);
    const std::vector<CString> keys = wide.GetKeys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0], hangul);
    EXPECT_EQ(keys[1], emoji);
    EXPECT_EQ(keys[2], privateUse);
}

TEST(Dictionary, LookupIsCaseSensitive) {
    CXMLDict dict;
    dict.AddElement(L"Name", eXMLString, Text(L"v"));
    EXPECT_NE(dict[L"Name"], nullptr);
    EXPECT_EQ(dict[L"name"], nullptr);
    EXPECT_EQ(dict.RemoveElement(L"name"), 0);
}

TEST(Dictionary, DuplicateKeyKeepsTheFirstChild) {
    CXMLDict dict;
    EXPECT_EQ(dict.AddElement(L"x", eXMLInt, 5), 1);
    EXPECT_EQ(dict.AddElement(L"x", eXMLInt, 9), 1);
    EXPECT_EQ(dict.AddElement(L"x", eXMLString, Text(L"s")), 1);
    __int64 value = 0;
    EXPECT_EQ(dict[L"x"]->GetValue(&value), 1);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(dict.GetKeys().size(), 1u);
}

TEST(Dictionary, EmptyKeyAndSizeOfZero) {
    CXMLDict dict;
    EXPECT_EQ(dict[L""], nullptr);
    dict.AddElement(L"", eXMLInt, 3);
    EXPECT_NE(dict[L""], nullptr);
    EXPECT_EQ(dict.GetIniNodeType(), eXMLDict);
    // A dictionary has no positions: its size through the element interface is 0.
    struct SizeProbe : CXMLDict {
        using CXMLDict::GetSize;
    } probe;
    probe.AddElement(L"list", eXMLArray, 0);
    EXPECT_EQ(probe.GetSize(), 0u);
}

// A tree a = {b: 1, "": 2, "/b": 3}, "a/b" = 4 (literal key), "/a" = 5, n = 6 (not a dictionary).
struct KeyPaths : ::testing::Test {
    CXMLDict root;
    void SetUp() override {
        root.AddElement(L"a/b", eXMLInt, 4);
        root.AddElement(L"/a", eXMLInt, 5);
        root.AddElement(L"n", eXMLInt, 6);
    }
    void AddInnerDict() {
        root.AddElement(L"a", eXMLDict, 0);
        CXMLDict* a = DictAt(root, L"a");
        a->AddElement(L"b", eXMLInt, 1);
        a->AddElement(L"", eXMLInt, 2);
        a->AddElement(L"/b", eXMLInt, 3);
    }
    __int64 ValueAt(const wchar_t* path) {
        __int64 value = -1;
        CXMLElement* found = root[path];
        if (found == nullptr || found->GetValue(&value) == 0) return -1;
        return value;
    }
};

TEST_F(KeyPaths, LiteralKeyWithSlashUntilTheHeadExists) {
    EXPECT_EQ(ValueAt(L"a/b"), 4);
    AddInnerDict();
    EXPECT_EQ(ValueAt(L"a/b"), 1);
    EXPECT_EQ(root.GetChild(L"a/b") != nullptr, true);
}

TEST_F(KeyPaths, WalkRules) {
    AddInnerDict();
    const struct {
        const wchar_t* path;
        __int64 value;
    } cases[] = {
        {L"/a", 5},    // a leading slash makes a plain key
        {L"a//b", 3},  // the empty segment leaves "/b", looked up whole inside a
        {L"a/", 2},    // a trailing slash looks up the empty key
        {L"a/c", -1},  // missing in a
        {L"x/b", -1},  // no key x: the whole path is one key
        {L"n/b", -1},  // n is not a dictionary
        {L"n/", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.path).ToUtf8());
        EXPECT_EQ(ValueAt(c.path), c.value);
    }
}

TEST_F(KeyPaths, RemoveFollowsTheSameWalk) {
    AddInnerDict();
    EXPECT_EQ(root.RemoveElement(L"n/b"), 0);
    EXPECT_EQ(root.RemoveElement(L"a/c"), 0);
    EXPECT_EQ(root.RemoveElement(L"a/b"), 1);
    EXPECT_EQ(ValueAt(L"a/b"), -1);
    EXPECT_NE(root.GetChild(L"a/b"), nullptr);  // the literal key was not touched
    EXPECT_EQ(Join(DictAt(root, L"a")->GetKeys()), L",/b");
    EXPECT_EQ(root.RemoveElement(L"a"), 1);
    EXPECT_EQ(ValueAt(L"a/b"), 4);
}

TEST(Dictionary, AllocAndFree) {
    CXMLDict* dict = CXMLDict::CXMLDictAlloc();
    ASSERT_NE(dict, nullptr);
    dict->AddElement(L"child", eXMLDict, 0);
    DictAt(*dict, L"child")->AddElement(L"x", eXMLString, Text(L"y"));
    CXMLDict::CXMLDictFree(dict);
    CXMLDict::CXMLDictFree(nullptr);
}

// root = {list: [1, {k: "v"}], sub: {deep: {n: 7}}}
void FillSample(CXMLDict& root) {
    root.AddElement(L"list", eXMLArray, 0);
    CXMLArray* list = ArrayAt(root, L"list");
    list->AddElement(-1, eXMLInt, 1);
    list->AddElement(-1, eXMLDict, 0);
    static_cast<CXMLDict*>((*list)[1])->AddElement(L"k", eXMLString, Text(L"v"));
    root.AddElement(L"sub", eXMLDict, 0);
    DictAt(root, L"sub")->AddElement(L"deep", eXMLDict, 0);
    DictAt(root, L"sub/deep")->AddElement(L"n", eXMLInt, 7);
}

TEST(Copy, CopiesEveryChild) {
    CXMLDict original;
    FillSample(original);
    CXMLDict copy(original);
    DictAt(copy, L"sub/deep")->RemoveElement(L"n");
    static_cast<CXMLDict*>((*ArrayAt(copy, L"list"))[1])->RemoveElement(L"k");

    __int64 n = 0;
    ASSERT_NE(original[L"sub/deep/n"], nullptr);
    original[L"sub/deep/n"]->GetValue(&n);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(StringOf((*static_cast<CXMLDict*>((*ArrayAt(original, L"list"))[1]))[L"k"]), L"v");
    EXPECT_EQ(copy[L"sub/deep/n"], nullptr);
    EXPECT_EQ(ArrayAt(copy, L"list")->GetSize(), 2u);
}

TEST(Copy, AssignmentReplacesAndSurvivesOwnDescendants) {
    CXMLDict target;
    target.AddElement(L"old", eXMLInt, 1);
    CXMLDict source;
    FillSample(source);
    target = source;
    EXPECT_EQ(Join(target.GetKeys()), L"list,sub");

    // Assigning from a child of the target itself: the copy is taken before the old tree goes.
    target = *DictAt(target, L"sub");
    EXPECT_EQ(Join(target.GetKeys()), L"deep");
    EXPECT_NE(target[L"deep/n"], nullptr);
    target = target;
    EXPECT_EQ(Join(target.GetKeys()), L"deep");

    // Arrays are destroyed through the base only.
    auto* list = new CXMLArray(*ArrayAt(source, L"list"));
    std::unique_ptr<CXMLElement> owner(list);
    list->RemoveElement(0);
    *list = *ArrayAt(source, L"list");
    EXPECT_EQ(list->GetSize(), 2u);
    EXPECT_EQ(ArrayAt(source, L"list")->GetSize(), 2u);
}

// Nesting is limited by memory, not by the call stack: destroying and copying a tree that deep
// recursively would overflow it.
TEST(Ownership, DeepTreesNeedNoDeepStack) {
    constexpr int kDepth = 300000;
    CXMLDict root;
    root.AddElement(L"a", eXMLArray, 0);
    CXMLArray* level = ArrayAt(root, L"a");
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(level->AddElement(-1, eXMLArray, 0), 1);
        level = static_cast<CXMLArray*>((*level)[0]);
    }
    level->AddElement(-1, eXMLString, Text(L"bottom"));
    {
        CXMLDict copy(root);
        EXPECT_EQ(copy.GetKeys().size(), 1u);
    }
    EXPECT_EQ(root.RemoveElement(L"a"), 1);
}

}  // namespace
