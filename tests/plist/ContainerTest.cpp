// The containers: the child factory, positions, keys, key paths, ownership and copies.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#if __GLIBC_PREREQ(2, 33)
#define CU_TEST_HEAP_IN_USE 1
#endif
#endif

#include "commonutility/XMLDict.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using namespace cu::test;

// A dictionary's keys, or the texts of an array's string children, joined by commas.
CString Join(const std::vector<CString>& texts) {
    CString joined;
    for (std::size_t i = 0; i < texts.size(); ++i) joined += (i > 0 ? CString(L",") : CString()) + texts[i];
    return joined;
}

CString Join(const CXMLArray& array) {
    std::vector<CString> texts;
    for (int i = 0; i < static_cast<int>(array.GetSize()); ++i) texts.push_back(ValueAt(array[i], CString(L"?")));
    return Join(texts);
}

CXMLArray* ArrayAt(CXMLDict& dict, const wchar_t* path) { return dynamic_cast<CXMLArray*>(dict[path]); }
CXMLDict* DictAt(CXMLDict& dict, const wchar_t* path) { return dynamic_cast<CXMLDict*>(dict[path]); }

TEST(Array, InsertAppendAndRemoveByPosition) {
    CXMLDict root;
    root.AddElement(L"list", eXMLArray, 0);
    CXMLArray* list = ArrayAt(root, L"list");
    EXPECT_EQ(list->AddElement(0, eXMLString, Text(L"A")), 1);  // an empty array appends
    for (const wchar_t* text : {L"B", L"C"}) list->AddElement(-1, eXMLString, Text(text));
    EXPECT_EQ(list->AddElement(1, eXMLString, Text(L"new")), 1);
    EXPECT_EQ(list->AddElement(4, eXMLString, Text(L"end")), 1);
    EXPECT_EQ(Join(*list), L"A,new,B,C,end");

    EXPECT_EQ(list->RemoveElement(5), 0);
    EXPECT_EQ(list->RemoveElement(-1), 0);
    EXPECT_EQ(list->RemoveElement(0), 1);
    EXPECT_EQ(Join(*list), L"new,B,C,end");
    EXPECT_EQ((*list)[4], nullptr);
    EXPECT_EQ((*list)[-1], nullptr);
}

// Values are taken by kind; an unknown kind, or a text kind without its text, adds nothing.
TEST(Factory, ValuesByKindAndRefusals) {
    CXMLDict dict;
    for (XMLNodeType kind : {eXMLNone, static_cast<XMLNodeType>(-1)}) EXPECT_EQ(dict.AddElement(L"k", kind, 1), 0);
    for (XMLNodeType kind : {eXMLString, eXMLStringPSW, eXMLReal}) EXPECT_EQ(dict.AddElement(L"k", kind, 0), 0);
    EXPECT_TRUE(dict.GetKeys().empty());
    EXPECT_EQ(dict.AddElement(L"bool", eXMLBool, 0x100000002ULL), 1);
    EXPECT_EQ(dict.AddElement(L"int", eXMLInt, static_cast<std::uint64_t>(-5LL)), 1);
    EXPECT_EQ(dict.AddElement(L"real", eXMLReal, Text(L"2.5e1")), 1);
    EXPECT_EQ(dict.AddElement(L"junk", eXMLReal, Text(L"abc")), 1);
    EXPECT_EQ(dict.AddElement(L"feb30", eXMLDate, Text(L"2009-02-30 00:00:00")), 1);
    EXPECT_EQ(dict.AddElement(L"word", eXMLDate, Text(L"yesterday")), 1);
    EXPECT_EQ(dict.AddElement(L"none", eXMLDate, 0), 1);

    EXPECT_EQ(ValueAt(dict[L"bool"], 0), 2);  // the low 32 bits
    EXPECT_EQ(IntAt(dict, L"int"), -5);
    EXPECT_EQ(ValueAt(dict[L"real"], -1.0), 25.0);
    EXPECT_EQ(ValueAt(dict[L"junk"], -1.0), 0.0);
    CCommonDateTime date = ValueAt(dict[L"feb30"], CCommonDateTime());
    EXPECT_EQ(date.GetStatus(), COleDateTime::invalid);
    for (const wchar_t* key : {L"word", L"none"}) {  // text that does not parse: the default date
        date = ValueAt(dict[key], date);
        EXPECT_EQ(date.GetStatus(), COleDateTime::valid);
        EXPECT_EQ(date.m_dt, 0.0);
    }
}

TEST(Dictionary, KeysAreExactOrderedAndFirstComeStays) {
    CXMLDict dict;
    for (const wchar_t* key : {L"b", L"A", L"a", L"B", L"", L"ab"}) dict.AddElement(key, eXMLInt, 1);
    EXPECT_EQ(Join(dict.GetKeys()), L",A,B,a,ab,b");
    EXPECT_EQ(dict[L"AB"], nullptr);  // case-sensitive
    EXPECT_EQ(dict.RemoveElement(L"AB"), 0);

    EXPECT_EQ(dict.AddElement(L"a", eXMLInt, 9), 1);
    EXPECT_EQ(dict.AddElement(L"a", eXMLString, Text(L"s")), 1);
    EXPECT_EQ(IntAt(dict, L"a"), 1);

    // A character beyond U+FFFF sorts by its lead surrogate: below U+E000, above U+D7FF.
    CXMLDict wide;
    for (const wchar_t* key : {L"\uE000", L"\U0001F600", L"\uD7A3"}) wide.AddElement(key, eXMLInt, 1);
    EXPECT_EQ(Join(wide.GetKeys()), CString(L"\uD7A3,\U0001F600,\uE000"));
}

// The walk goes into a head segment only while a dictionary of that key exists; removal walks alike.
TEST(KeyPaths, WalkAndRemoveRules) {
    CXMLDict root;
    root.AddElement(L"a/b", eXMLInt, 4);
    root.AddElement(L"/a", eXMLInt, 5);
    root.AddElement(L"n", eXMLInt, 6);
    EXPECT_EQ(IntAt(root, L"a/b"), 4);  // no key a yet: the literal key
    root.AddElement(L"a", eXMLDict, 0);
    CXMLDict* a = DictAt(root, L"a");
    a->AddElement(L"b", eXMLInt, 1);
    a->AddElement(L"", eXMLInt, 2);
    a->AddElement(L"/b", eXMLInt, 3);
    const struct { const wchar_t* path; __int64 value; } cases[] = {
        {L"a/b", 1},   // now the walk goes into a
        {L"/a", 5},    // a leading slash makes a plain key
        {L"a//b", 3},  // the empty segment leaves "/b", looked up whole inside a
        {L"a/", 2},    // a trailing slash looks up the empty key
        {L"a/c", -1},
        {L"n/b", -1},  // n is not a dictionary
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.path).ToUtf8());
        EXPECT_EQ(IntAt(root, c.path), c.value);
    }

    EXPECT_EQ(root.RemoveElement(L"n/b"), 0);
    EXPECT_EQ(root.RemoveElement(L"a/b"), 1);
    EXPECT_NE(root.GetChild(L"a/b"), nullptr);  // the literal key was not touched
    EXPECT_EQ(Join(a->GetKeys()), L",/b");
    EXPECT_EQ(root.RemoveElement(L"a"), 1);
    EXPECT_EQ(IntAt(root, L"a/b"), 4);
    CXMLDict::CXMLDictFree(nullptr);
}

TEST(Copy, CopiesEveryChildAndSurvivesOwnDescendants) {
    CXMLDict source;
    FillRandomTree(source, 11);
    CXMLDict copy(source);
    EXPECT_EQ(Body(copy), Body(source));
    for (const CString& key : copy.GetKeys()) copy.RemoveElement(key);
    EXPECT_FALSE(source.GetKeys().empty());

    copy = source;
    EXPECT_EQ(Body(copy), Body(source));
    // Assigning from a child of the target itself: the copy is taken before the old tree goes.
    CXMLDict nested;
    nested.AddElement(L"sub", eXMLDict, 0);
    DictAt(nested, L"sub")->AddElement(L"n", eXMLInt, 7);
    nested = *DictAt(nested, L"sub");
    EXPECT_EQ(IntAt(nested, L"n"), 7);

    // Arrays are destroyed through the base only.
    source.AddElement(L"list", eXMLArray, 0);
    ArrayAt(source, L"list")->AddElement(-1, eXMLInt, 1);
    std::unique_ptr<CXMLElement> list(new CXMLArray(*ArrayAt(source, L"list")));
    EXPECT_EQ(static_cast<CXMLArray&>(*list).GetSize(), 1u);
}

#if defined(__SANITIZE_ADDRESS__)
// A deleted element of a loaded tree is reported when read, as a heap block of its own would be.
TEST(OwnershipDeathTest, ReadingADeletedLoadedElementIsReportedUnderAddressSanitizer) {
    CXMLDict source;
    for (const wchar_t* key : {L"a", L"b"}) source.AddElement(key, eXMLInt, 1);
    CXMLDict loaded;
    ASSERT_EQ(Load(loaded, Saved(source)), 1);
    CXMLElement* deleted = loaded[L"a"];
    loaded.RemoveElement(L"a");
    EXPECT_DEATH(ValueAt<__int64>(deleted, 0), "use-after-poison");
}
#endif

// Nesting is limited by memory, not by the call stack: destroying and copying a tree that deep
// recursively would overflow it.
TEST(Ownership, DeepTreesNeedNoDeepStack) {
    CXMLDict root;
    GrowTree(root, [](int depth) { return depth < 300000 ? 1 : 0; },
             [](CXMLElement* level, int) { return AddChild(level, L"a", eXMLArray, 0); });
    { CXMLDict copy(root); }
    EXPECT_EQ(root.RemoveElement(L"a"), 1);
}

#if defined(CU_TEST_HEAP_IN_USE)
std::size_t HeapInUse() { return mallinfo2().uordblks; }
#endif

// The elements of loaded and copied trees are laid out together; however such a tree is taken
// apart, on whichever threads, every element goes and the memory goes back to the heap.
TEST(Ownership, LoadedAndCopiedTreesComeApartInAnyOrderOnAnyThread) {
    const auto name = [](int i) { return CString(std::to_wstring(i).c_str()); };
    CXMLDict source;
    for (int d = 0; d < 30; ++d) {
        auto* dict = static_cast<CXMLDict*>(AddChild(&source, name(d), eXMLDict, 0));
        for (int i = 0; i < 200; ++i) dict->AddElement(name(i), eXMLInt, static_cast<std::uint64_t>(i));
    }
    const std::wstring text = Saved(source);

    const auto takeApart = [&text, &name] {
        auto* loaded = new CXMLDict;
        ASSERT_EQ(Load(*loaded, text), 1);
        auto* copy = new CXMLDict(*loaded);
        // Every other entry of every dictionary now, the rest with the trees on other threads.
        for (const CString& key : loaded->GetKeys()) {
            auto* dict = static_cast<CXMLDict*>(loaded->GetChild(key));
            for (int i = 0; i < 200; i += 2) dict->RemoveElement(name(i));
        }
        std::thread([loaded] { delete loaded; }).join();
        EXPECT_EQ(IntAt(*copy, L"29/199"), 199);
        std::thread([copy] { delete copy; }).join();
    };
#if defined(CU_TEST_HEAP_IN_USE)
    takeApart();  // the heap's own first use
    const std::size_t before = HeapInUse();
#endif
    std::thread other([&] {
        for (int i = 0; i < 5; ++i) takeApart();
    });
    for (int i = 0; i < 5; ++i) takeApart();
    other.join();
#if defined(CU_TEST_HEAP_IN_USE)
    EXPECT_LE(HeapInUse(), before + 64 * 1024);
#endif
}

#if defined(CU_TEST_HEAP_IN_USE)
// A small tree loaded or copied costs about what it costs built by hand, not a whole chunk.
TEST(Ownership, SmallTreesCostLittleMemoryOnGlibc) {
    CXMLDict small;
    for (const wchar_t* key : {L"a", L"b", L"c"}) small.AddElement(key, eXMLInt, 1);
    const std::wstring text = Saved(small);
    std::vector<std::unique_ptr<CXMLDict>> trees;
    const std::size_t before = HeapInUse();
    for (int i = 0; i < 1000; ++i) {
        trees.emplace_back(new CXMLDict(small));
        trees.emplace_back(new CXMLDict);
        Load(*trees.back(), text);
    }
    EXPECT_LT((HeapInUse() - before) / trees.size(), 1024u);
}
#endif

}  // namespace
