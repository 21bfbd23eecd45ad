// The direct writer and reader against the DOM route: the same bytes and the same trees for the
// test documents, for generated trees of every kind, escaping case and shape, and for generated
// text full of what the reader must skip or carry over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "commonutility/XMLDict.h"
#include "plist/FileText.h"
#include "plist/PlistText.h"
#include "plist/dom/Dom.h"
#include "platform/win32.h"
#include "support/PlistSupport.h"
#include "support/SameTree.h"

namespace {

using cu::test::Text;

// A dictionary that also saves through the DOM, as SaveToXMLDocument on a caller's document does:
// the DOM's text and the file it saves must be the direct writer's text and bytes.
class RoutedDict : public CXMLDict {
public:
    void ExpectSameRoutes(const cu::test::TempDir& dir) {
        CXMLDOMDocument2 doc;
        ASSERT_TRUE(GetXMLDocInstance(doc) != 0 && SaveToXMLDocument(doc) != 0);
        BSTR text = doc.GetXml();
        ASSERT_NE(text, nullptr);
        const std::wstring throughDom(text, SysStringLen(text));
        SysFreeString(text);
        ASSERT_EQ(throughDom, cu::test::Saved(*this));
        std::string file, direct;
        ASSERT_TRUE(doc.GetFileText(file) && cu::detail::SaveFileText(dir.Path(L"dom.plist"), file));
        ASSERT_TRUE(cu::detail::WritePlistText(*this, direct));
        ASSERT_EQ(cu::test::ReadBytes(dir.Path(L"dom.plist")), direct);
    }
};

// Texts that exercise escaping, CDATA splitting, characters XML cannot carry and, where wchar_t
// is UTF-32, values that are no Unicode characters.
std::vector<std::wstring> HostileTexts() {
    std::vector<std::wstring> texts = {
        L"", L"plain", L"a < b & c > d", L"&amp; stays text", L"\"quoted\" 'single'", L"]]>",
        L"]]]>>", L"x]]", L"]]>]]>", L"]", L">]]", L"tab\there\r\nlines", L"caf\u00e9 \u65e5\u672c",
        L"  spaces  ", L"<![CDATA[inner]]>", L"<!-- c -->", L"\U0001F600 emoji",
        L"c\x01\x08\x0B\x0C\x1F\x7F\x85\uFFFE\uFFFF\uFFFD\uD7FF\uE000",
    };
    texts.push_back(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone lead");
    texts.push_back(L"lone trail" + std::wstring(1, static_cast<wchar_t>(0xDC00)));
    if (sizeof(wchar_t) == 4) texts.push_back(std::wstring(1, static_cast<wchar_t>(0x110000)) + L" beyond");
    return texts;
}

// Random trees: every kind, every hostile text as keys and values, extreme numbers and dates,
// empty containers.
void FillHostile(CXMLDict& dict, unsigned seed, int maxDepth, int maxWidth) {
    const std::vector<std::wstring> texts = HostileTexts();
    const double reals[] = {0.0, -0.0, 1e308, -1e308, 1e-7, 123.456789, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN(), 2.5e-320};
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int made = 0;
    cu::test::GrowTree(dict, [&](int) { return pick(maxWidth + 1); }, [&](CXMLElement* container, int depth) {
        const auto kind = static_cast<XMLNodeType>(pick(depth < maxDepth ? 8 : 6));
        const std::wstring& text = texts[static_cast<std::size_t>(pick(static_cast<int>(texts.size())))];
        std::uint64_t value = 0;
        if (kind == eXMLBool) value = pick(2) ? 7 : 0;
        if (kind == eXMLInt) value = (static_cast<std::uint64_t>(random()) << 32) | random();
        if (kind == eXMLReal || kind == eXMLString || kind == eXMLStringPSW) value = Text(text.c_str());
        const bool named = container->GetIniNodeType() == eXMLDict && pick(3) == 0;
        const std::wstring key = named ? text : L"k" + std::to_wstring(made);
        CXMLElement* child = cu::test::AddChild(container, key.c_str(), kind, value);
        ++made;
        // A repeated key keeps its first child, which may be of another kind.
        if (child->GetIniNodeType() != kind) return static_cast<CXMLElement*>(nullptr);
        if (kind == eXMLReal) child->SetValue(reals[pick(9)]);
        if (kind == eXMLDate) {
            CCommonDateTime date;
            date = pick(4) == 0 ? -700000.0 : 40000.0 + pick(100000) / 7.0;
            if (pick(5) == 0) date.SetStatus(pick(2) ? COleDateTime::invalid : COleDateTime::null);
            child->SetValue(date);
        }
        return child;
    });
}

// Reads text both ways and expects the same result and exactly the same tree.
void ExpectSameReads(const std::wstring& text) {
    CXMLDict direct;
    cu::test::DomReadDict throughDom;
    const int loaded = cu::test::Load(direct, text);
    ASSERT_EQ(throughDom.ReadThroughDom(text.c_str()), loaded);
    EXPECT_TRUE(cu::test::SameTree(direct, throughDom, cu::test::Compare::Exactly));
}

// Generated trees (hostile ones of every shape, readable ones), the sample document and edge
// shapes: the DOM routes write the direct writer's text and bytes, and read that text into exactly
// the tree the direct reader makes.
TEST(DirectRoute, DocumentsWriteAndReadAsThroughTheDom) {
    cu::test::TempDir dir;
    const std::wstring line(20000, L'x'), escaped(300000, L'&');
    const struct { const char* what; unsigned seeds; std::function<void(CXMLDict&, unsigned)> fill; } documents[] = {
        {"small hostile tree", 60, [](CXMLDict& d, unsigned seed) { FillHostile(d, seed, 3, 4); }},
        {"deep hostile tree", 10, [](CXMLDict& d, unsigned seed) { FillHostile(d, seed, 40, 2); }},
        {"wide hostile tree", 5, [](CXMLDict& d, unsigned seed) { FillHostile(d, seed, 1, 400); }},
        {"readable tree", 20, [](CXMLDict& d, unsigned seed) { cu::test::FillRandomTree(d, seed); }},
        {"sample content document", 1,
         [](CXMLDict& d, unsigned) { ASSERT_EQ(d.LoadFromFile(COMMONUTILITY_TEST_DATA L"/contentinfo.plist"), 1); }},
        {"empty dictionary", 1, [](CXMLDict&, unsigned) {}},
        // More text than one of the wide writer's blocks holds, and one text longer than a block.
        {"long texts", 1, [&](CXMLDict& d, unsigned) {
             for (int i = 0; i < 40; ++i) d.AddElement(CString(std::to_wstring(i)), eXMLString, Text(line.c_str()));
             d.AddElement(L"long", eXMLString, Text(escaped.c_str()));
         }},
        // A chain of dictionaries and arrays far deeper than any stack would take in recursion.
        {"nested 20000 levels", 1, [](CXMLDict& d, unsigned) {
             cu::test::GrowTree(d, [](int depth) { return depth < 20000 ? 1 : 0; }, [](CXMLElement* level, int depth) {
                 if (level->GetIniNodeType() == eXMLArray) cu::test::AddChild(level, L"", eXMLInt, 7);
                 return cu::test::AddChild(level, L"n", depth % 2 ? eXMLDict : eXMLArray, 0);
             });
         }},
    };
    for (const auto& document : documents)
        for (unsigned seed = 1; seed <= document.seeds; ++seed) {
            SCOPED_TRACE(std::string(document.what) + " " + std::to_string(seed));
            RoutedDict dict;
            document.fill(dict, seed);
            dict.ExpectSameRoutes(dir);
            ExpectSameReads(cu::test::Saved(dict));
        }
}

// Property-list text made of the reader's hard cases: tags in any case and unknown tags, keys as
// elements and as processing instructions, keys inside content that is dropped, values without a
// key and repeated keys, keys with '/', containers inside scalars, comments, CDATA and references
// inside values, numbers with blanks, signs, overflow and other bases.
std::wstring HardCaseText(unsigned seed) {
    static const wchar_t* const tags[] = {L"dict",    L"array", L"key",     L"string", L"stringpsw",
                                          L"integer", L"real",  L"date",    L"boolean", L"DICT",
                                          L"Key",     L"Integer", L"data",  L"plist"};
    static const wchar_t* const texts[] = {
        L"", L"a", L"a/b", L"a/", L"/a", L" 12", L"-7", L"99999999999", L"-99999999999", L"0x10", L"TRUE",
        L"true ", L"1e5", L"-0.5", L"inf", L"2020-01-02 03:04:05", L"2020-13-01", L"x &amp; y", L"&#233;",
        L"\u00e9\u65e5", L"<!-- c -->t", L"<![CDATA[c]]>d", L"<?key pi?>", L"<?KEY?>", L"  "};
    std::mt19937 random(seed);
    auto pick = [&random](std::size_t n) { return random() % n; };
    std::wstring out = L"<?xml version=\"1.0\"?>\n<plist><dict>";
    std::vector<const wchar_t*> open;
    for (int step = 40 + static_cast<int>(pick(200)); step > 0; --step) {
        const wchar_t* tag = tags[pick(std::size(tags))];
        const std::size_t move = pick(6);
        if (move == 0 && open.size() < 8) {
            out += std::wstring(L"<") + tag + L">";
            open.push_back(tag);
        } else if (move == 1 && !open.empty()) {
            out += std::wstring(L"</") + open.back() + L">";
            open.pop_back();
        } else if (move == 2) {
            out += std::wstring(L"<key>") + texts[pick(std::size(texts))] + L"</key>";
        } else {
            out += std::wstring(L"<") + tag + L">" + texts[pick(std::size(texts))] + L"</" + tag + L">";
        }
    }
    for (; !open.empty(); open.pop_back()) out += std::wstring(L"</") + open.back() + L">";
    return out + L"</dict></plist>\n";
}

TEST(DirectRoute, GeneratedDocumentsReadAsThroughTheDom) {
    // Text where the reader looks for elements: before the root container, as its only content,
    // and split around comments, CDATA and elements inside values and keys; and keys that are paths.
    for (const wchar_t* text :
         {L"<plist>t<dict><key>a</key><string>b</string></dict></plist>", L"<plist><dict>t</dict></plist>",
          L"<plist><dict>t<key>a</key><string>b</string></dict></plist>",
          L"<plist><!--c--><dict><key>a</key><string>b</string></dict></plist>",
          L"<plist><dict><key>a<!--c-->b</key><string>x<i>y<j/>z</i>w</string></dict></plist>",
          L"<plist><dict><key>k</key><string><![CDATA[c]]>d</string><key>e</key><real>1<![CDATA[5]]></real></dict></plist>",
          // A date whose fields stand elsewhere in UTF-8 than in wide text.
          L"<plist><dict><key>d</key><date>2020-01-02 0\u00e9:04:05</date></dict></plist>",
          // Containers under keys that are paths into a dictionary read before them.
          L"<plist><dict><key>a</key><dict><key>b</key><array/></dict><key>a/b</key><array><integer>1</integer>"
          L"</array><key>a/c</key><dict><key>d</key><boolean>true</boolean></dict><key>a/</key><array><real>2</real></array></dict></plist>"}) {
        SCOPED_TRACE(text);
        ExpectSameReads(text);
    }
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("hard-case text " + std::to_string(seed));
        ExpectSameReads(HardCaseText(seed));
    }
}

// Property-list text in which every value of a dictionary follows a key of its own, as in saved
// documents, with what such text may still hold: repeated keys (whose containers merge, or meet
// a scalar), keys and unknown elements inside arrays, comments. With odd set, one dictionary
// somewhere also holds what only a walk level by level places right: a value without a key of
// its own, one right after a container (whose keys a and $ the reader keeps in one place), or a
// container under a key path into a dictionary whose own content comes later at that level.
std::wstring KeyedText(unsigned seed, bool odd) {
    static const wchar_t* const keys[] = {L"a", L"b", L"c", L"$"};
    static const wchar_t* const scalars[] = {L"<integer>7</integer>", L"<string>s</string>", L"<real>1.5</real>",
                                             L"<boolean>true</boolean>", L"<date>2020-01-02T03:04:05Z</date>",
                                             L"<stringpsw>p</stringpsw>", L"<data>x</data>", L"<!--c-->"};
    static const wchar_t* const oddOnes[] = {
        L"<integer>1</integer>",
        L"<key>a</key><dict><key>$</key><integer>2</integer></dict><integer>3</integer>",
        L"<key>p</key><dict><key>q</key><dict/></dict><key>p/q</key><dict><key>r</key><integer>4</integer></dict>"};
    std::mt19937 random(seed);
    auto pick = [&random](std::size_t n) { return random() % n; };
    const std::size_t oddOne = odd ? 1 + pick(60) : 0;
    std::size_t values = 0;
    std::wstring out = L"<plist><dict>";
    std::function<void(bool, int)> fill = [&](bool dict, int depth) {
        for (std::size_t n = pick(6); n > 0; --n) {
            if (++values == oddOne && dict && depth > 0) out += oddOnes[pick(std::size(oddOnes))];
            if (dict)
                out += std::wstring(L"<key>") + keys[pick(std::size(keys))] + L"</key>";
            else if (pick(4) == 0)
                out += L"<key>k</key>";  // read, and given to nothing
            if (depth == 6 || pick(3) != 0) {
                out += scalars[pick(std::size(scalars))];
                continue;
            }
            const bool inner = pick(2) == 0;
            out += inner ? L"<dict>" : L"<array>";
            fill(inner, depth + 1);
            out += inner ? L"</dict>" : L"</array>";
        }
    };
    fill(true, 0);
    return out + L"</dict></plist>";
}

// The direct reader reads below the root depth first, the DOM route level by level; both make
// exactly the same tree of such text, and of the same text made odd somewhere.
TEST(DirectRoute, KeyedDocumentsReadAsThroughTheDom) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("keyed text " + std::to_string(seed));
        ExpectSameReads(KeyedText(seed, seed % 2 == 0));
    }
}

// The sample region file, indented and with a root that is no plist element (the sample content
// document is read as the direct writer saves it, above): both routes read its text into exactly
// the same tree, and so does a load of the file.
TEST(DirectRoute, SampleFileReadsAsThroughTheDom) {
    const CString path(COMMONUTILITY_TEST_DATA L"/regions.xml");
    const std::string bytes = cu::test::ReadBytes(path);
    const std::wstring text = CString::FromUtf8(bytes.data(), bytes.size()).str();
    ExpectSameReads(text);
    CXMLDict fromFile, fromText;
    ASSERT_EQ(fromFile.LoadFromFile(path), 1);
    ASSERT_EQ(cu::test::Load(fromText, text), 1);
    EXPECT_TRUE(cu::test::SameTree(fromFile, fromText, cu::test::Compare::Exactly));
}

// The library turns a wide text into UTF-8 for the parser itself, where a file's bytes go to the
// parser as they are: both read into exactly the same tree, whatever the characters, behind a
// byte-order mark too, and when most of the text lies beyond ASCII.
TEST(DirectRoute, WideTextReadsAsItsUtf8File) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    const std::wstring beyondAscii(100000, L'\u65e5');
    int read = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        CXMLDict source;
        FillHostile(source, seed, 3, 4);
        if (seed == 1) source.AddElement(L"beyond ASCII", eXMLString, Text(beyondAscii.c_str()));
        ASSERT_EQ(source.SaveToFile(path), 1);
        const std::wstring text = cu::test::Saved(source);
        // Characters XML cannot carry make a document that neither reads.
        CXMLDict fromFile, fromText, behindMark;
        const int loaded = fromFile.LoadFromFile(path);
        ASSERT_EQ(cu::test::Load(fromText, text), loaded);
        ASSERT_EQ(cu::test::Load(behindMark, L"\uFEFF" + text), loaded);
        if (loaded == 0) continue;
        ++read;
        EXPECT_TRUE(cu::test::SameTree(fromFile, fromText, cu::test::Compare::Exactly));
        EXPECT_TRUE(cu::test::SameTree(fromFile, behindMark, cu::test::Compare::Exactly));
    }
    EXPECT_GE(read, 10);
}

// The direct reader adds the top-level children through the dictionary's own AddElement, as the
// DOM route does, so a subclass that overrides it sees each of them, and sees them all before
// anything goes below them.
TEST(DirectRoute, ReadingAddsThroughASubclassesAddElement) {
    class CountingDict : public CXMLDict {
    public:
        int adds = 0;
        unsigned filledBefore = 0;
        int AddElement(const CString& key, XMLNodeType kind, ULONGLONG value) override {
            ++adds;
            if (auto* b = dynamic_cast<CXMLDict*>(GetChild(L"b"))) filledBefore += static_cast<unsigned>(b->GetKeys().size());
            return CXMLDict::AddElement(key, kind, value);
        }
    };
    CountingDict dict;
    ASSERT_EQ(cu::test::Load(dict, L"<plist><dict><key>a</key><integer>1</integer><key>b</key>"
                                   L"<dict><key>c</key><string>x</string></dict><key>d</key><integer>2</integer></dict></plist>"), 1);
    EXPECT_EQ(3, dict.adds);  // a, b and d; c goes into b, a plain dictionary
    EXPECT_EQ(0u, dict.filledBefore);
    EXPECT_EQ(cu::test::TextAt(dict, L"b/c"), L"x");
}

// Reals are written with to_chars where printf's "%f" would be slow; the two must agree on every
// value, ties at the seventh decimal and values beyond 2^53 included, and the point must be the
// one asked for.
TEST(DirectRoute, RealsAreWrittenAsPrintfWritesThem) {
    std::vector<double> values = {0.0, -0.0, 0.5, -1e-9, 1e-7, 5e-7, 0.0078125, 2.0000005, 1e15 + 0.5,
                                  9007199254740993.0, 1e22, 1e300, std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(), std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(7);
    for (int i = 0; i < 3000; ++i) {
        // Exact binary fractions, whose seventh decimal can be a tie, and arbitrary bit patterns.
        values.push_back(std::ldexp(static_cast<double>(random() % 100000000), -static_cast<int>(random() % 40)));
        const std::uint64_t bits = random();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        values.push_back(any);
    }
    CXMLReal real;
    char written[cu::detail::kScalarTextSize];
    char expected[cu::detail::kScalarTextSize];
    for (const double value : values) {
        std::snprintf(expected, sizeof expected, "%f", value);
        real.SetValue(value);
        ASSERT_TRUE(cu::detail::FormatScalar(eXMLReal, real, written, cu::detail::DecimalPoint()));
        ASSERT_STREQ(expected, written) << std::hexfloat << value;
        ASSERT_TRUE(cu::detail::FormatScalar(eXMLReal, real, written, ','));
        if (std::isfinite(value)) *std::strchr(expected, '.') = ',';
        ASSERT_STREQ(expected, written) << std::hexfloat << value;
    }
}

}  // namespace
