// Reading property-list XML: the reading rules, their tolerances, and hostile input, also input
// built to cost far more than its size.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "commonutility/XMLDict.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"

namespace {

using namespace cu::test;

// A document whose root dictionary holds the given body.
int LoadBody(CXMLDict& dict, const CString& body) {
    return Load(dict, (L"<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + body + L"</dict></plist>").str());
}

TEST(PlistRead, RefusedDocumentsChangeNothing) {
    const wchar_t* const refused[] = {
        L"<plist version=\"1.0\"><dict/></plist>",  // what an empty dictionary saves as
        L"<plist><dict><key>a</key><integer>1</integer></dict></plist><!-- after -->",
        L"<plist/>",
        L"<dict><key/><integer>1</integer></dict>",  // no plist: the empty key is the root container
        L"<plist><dict><key>a</key><integer>1</integer></dict>",
        L"<plist><dict><key>a</key><integer>1</integer></dict></pli",  // cut short inside a tag
        L"<plist><dict/></plist><plist><dict><key>a</key><integer>2</integer></dict></plist>",
        L"text<plist><dict><key>a</key><integer>2</integer></dict></plist>",
        L"<plist><dict a=\"1\" a=\"2\"><key>a</key><integer>2</integer></dict></plist>",
        L"",
        // Not well-formed, in ways a lenient parser lets through.
        L"<plist><dict><key>a</key><string>a & b</string></dict></plist>",
        L"<plist><dict><key>a</key><string>&undefined;</string></dict></plist>",
        L"<plist><dict><key>a</key><string>a ]]> b</string></dict></plist>",
        L"<plist><dict><key>a</key><string x=\"<\">v</string></dict></plist>",
        L"<plist><dict><key>a</key><string>v<!-- a -- b --></string></dict></plist>",
        L"<plist><dict><key>a</key><string>&#0;</string></dict></plist>",
        L"<plist><dict><key>a</key><string>&#xD800;</string></dict></plist>",
        L"<plist><dict><key>a</key><string>&#x110000;</string></dict></plist>",
        L"<plist><dict><key>a</key><string>&#1;</string></dict></plist>",
        L"<plist><dict><key>a</key><string>\x01</string></dict></plist>",
        L"<plist><dict><key>a</key><string>\x0B\x1F</string></dict></plist>",
        L"<plist><dict><key>a</key><string>x\uFFFE</string></dict></plist>",  // non-characters
        L"<plist><dict><key>a</key><string>\uFFFF</string></dict></plist>",
        L"<plist><dict><key>a</key><string x=\"\uFFFF\">v</string></dict></plist>",
        L"<plist><dict><key>a</key><stringpsw><![CDATA[\uFFFE]]></stringpsw></dict></plist>",
        L"<?xml version='1.0'?><?xml version='1.0'?><plist><dict><key>a</key><string/></dict></plist>",
        L"<!-- c --><?xml version=\"1.0\"?><plist><dict><key>a</key><string/></dict></plist>",
        L"<!DOCTYPE plist><!DOCTYPE plist><plist><dict><key>a</key><string/></dict></plist>",
    };
    CXMLDict dict;
    dict.AddElement(L"keep", eXMLInt, 1);
    for (const wchar_t* text : refused) {
        SCOPED_TRACE(CString(text).ToUtf8());
        EXPECT_EQ(Load(dict, text), 0);
    }
    TempDir dir;
    for (const CString& path : {dir.Path(L"missing.plist"), CString(), dir.Path(), CString(L'a', 261)})
        EXPECT_EQ(dict.LoadFromFile(path), 0);
    EXPECT_EQ(dict.LoadFromMemFile(nullptr), 0);
    EXPECT_EQ(dict.LoadFromFile(nullptr), 0);
    EXPECT_EQ(dict.GetKeys().size(), 1u);
    EXPECT_EQ(IntAt(dict, L"keep"), 1);

    ASSERT_EQ(LoadBody(dict, L"<key>a</key><integer>2</integer>"), 1);  // a load replaces all
    EXPECT_EQ(dict.GetKeys().size(), 1u);
}

// Names are not looked at: the first element under the top element is the root container.
TEST(PlistRead, RootContainerAndPlistNamesAreNotChecked) {
    CXMLDict dict;
    ASSERT_EQ(Load(dict, L"<plist><array><integer>1</integer><integer>2</integer></array></plist>"), 1);
    EXPECT_EQ(dict.GetKeys().size(), 1u);
    EXPECT_EQ(IntAt(dict, L""), 1);  // no key: every value goes under the empty key, the first stays
    ASSERT_EQ(Load(dict, L"<dict><key>a</key><integer>1</integer></dict>"), 1);
    EXPECT_TRUE(dict.GetKeys().empty());  // the key element was the root container
}

TEST(PlistRead, ValueTexts) {
    CXMLDict dict;
    ASSERT_EQ(LoadBody(dict, L"<Key>b1</Key><BOOLEAN>TRUE</BOOLEAN><key>b2</key><boolean>1</boolean>"
                             L"<key>b3</key><boolean>yes</boolean>"
                             L"<key>i1</key><Integer>12abc</Integer><key>i2</key><integer>abc</integer>"
                             L"<key>i3</key><integer> -7</integer><key>i4</key><integer>99999999999"
                             L"</integer><key>i5</key><integer>-99999999999</integer>"
                             L"<key>r</key><real>2.5e1</real><key>d</key><date>2009:05:01T10:20:30Z</date>"
                             L"<key>p</key><stringpsw><![CDATA[<raw> & text]]></stringpsw>"
                             L"<key>s</key><string>a &lt; b &#x41;&#66;</string>"),
              1);
    const struct { const wchar_t* key; __int64 value; } numbers[] = {
        {L"i1", 12}, {L"i2", 0}, {L"i3", -7}, {L"i4", 2147483647}, {L"i5", -2147483647 - 1}};
    for (const auto& n : numbers) EXPECT_EQ(IntAt(dict, n.key), n.value) << CString(n.key).ToUtf8();
    // Only "true" in any case is true.
    EXPECT_EQ(ValueAt(dict[L"b1"], -1) * 100 + ValueAt(dict[L"b2"], -1) * 10 + ValueAt(dict[L"b3"], -1), 100);
    EXPECT_EQ(ValueAt(dict[L"r"], 0.0), 25.0);
    EXPECT_EQ(ValueAt(dict[L"d"], CCommonDateTime()).GetLocalizedDateString(), L"2009-05-01");
    EXPECT_EQ(TextAt(dict, L"p"), L"<raw> & text");
    EXPECT_EQ(TextAt(dict, L"s"), L"a < b AB");
}

// Plain decimal numbers take a quicker route than other texts; every one must still read bit for
// bit as atof reads it, rounding cases and numbers out of range included, in every rounding mode.
TEST(PlistRead, RealsReadAsAtofReadsThem) {
    std::vector<std::string> texts = {
        "0", "-0", "0.1", "2.675", "9007199254740993", "-9007199254740993.0",
        "1.00000000000000011102230246251565404236316680908203125",  // halfway between two doubles
        "1.00000000000000011102230246251565404236316680908203124", "0.333333333333333333333",
        "123456789012345678901234567890.123456789", "17976931348623157" + std::string(292, '0'),
        "1" + std::string(400, '0'), "0." + std::string(400, '0') + "1", "00012.50", "-",
        "5.", ".5", "+1.5", " 1.5", "1.5x", "1e3", "-2.5E-3", "0x1p4", "inf", "nan", "1,5", ""};
    std::mt19937_64 random(11);
    for (int i = 0; i < 2000; ++i) {
        std::string text = random() % 2 ? "-" : "";
        text += std::to_string(random() % 1000000000);
        text += "." + std::to_string(random()).substr(0, 1 + random() % 19);
        texts.push_back(text);
    }
    CString body;
    for (std::size_t i = 0; i < texts.size(); ++i)
        body += CString(L"<key>") + CString(std::to_string(i).c_str()) + L"</key><real>" +
                CString(texts[i].c_str()) + L"</real>";
    const int saved = std::fegetround();
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        if (std::fesetround(mode) != 0) continue;
        CXMLDict dict;
        const int loaded = LoadBody(dict, body);
        std::vector<double> expected;
        for (const std::string& text : texts) expected.push_back(std::atof(text.c_str()));
        std::fesetround(saved);
        SCOPED_TRACE("rounding mode " + std::to_string(mode));
        ASSERT_EQ(loaded, 1);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const double value = ValueAt(dict[CString(std::to_string(i).c_str())], -1.0);
            EXPECT_EQ(std::memcmp(&value, &expected[i], sizeof value), 0) << texts[i] << " read " << value;
        }
    }
}

// A value without its own key takes the key read last, also one read inside an array, which
// breadth-first order reads after the root's own values. Unknown elements go with their content and
// leave the key as it was. Of a repeated key the first value stays.
TEST(PlistRead, KeysCarryOverRepeatAndWalkPaths) {
    CXMLDict dict;
    ASSERT_EQ(LoadBody(dict, L"<integer>1</integer><key>list</key><array><key>inner</key>"
                             L"<integer>2</integer></array><data><key>hidden</key></data>"
                             L"<integer>3</integer><!-- note --><?pi x?>"
                             L"<key>x</key><integer>5</integer><key>x</key><integer>9</integer>"
                             L"<key>d</key><dict><key>a</key><integer>1</integer></dict>"
                             L"<key>d</key><dict><key>b</key><integer>2</integer></dict>"
                             L"<key>d/a</key><dict><key>c</key><integer>4</integer></dict>"
                             L"<key>n/m</key><dict><key>e</key><integer>5</integer></dict>"),
              1);
    EXPECT_EQ(IntAt(dict, L""), 1);
    ASSERT_NE(dynamic_cast<CXMLArray*>(dict[L"list"]), nullptr);
    EXPECT_EQ(dict.GetKeys().size(), 6u);  // "", list, x, d, d/a and n/m
    EXPECT_EQ(IntAt(dict, L"x"), 5);
    EXPECT_EQ(IntAt(dict, L"d/b"), 2);  // a second container's content goes into the first
    // The literal key d/a was stored, but its content was looked up along the path: into the
    // integer d/a, where it was dropped. Without a key n, n/m is one key and gets its content.
    EXPECT_NE(dict.GetChild(L"d/a"), nullptr);
    EXPECT_EQ(IntAt(dict, L"d/c"), -1);
    auto* nm = dynamic_cast<CXMLDict*>(dict.GetChild(L"n/m"));
    ASSERT_NE(nm, nullptr);
    EXPECT_EQ(IntAt(*nm, L"e"), 5);
}

// Below the root too, a value without its own key takes the key read last level by level: the
// first inner dictionary's last key s, not the y inside its array, which comes earlier in the text
// but a level deeper. A document saved by the library has no such value.
TEST(PlistRead, KeysCarryOverLevelByLevelBelowTheRoot) {
    CXMLDict dict;
    ASSERT_EQ(LoadBody(dict, L"<key>a</key><dict><key>x</key><integer>1</integer><key>s</key><array>"
                             L"<key>y</key></array></dict><key>b</key><dict><integer>2</integer>"
                             L"<key>z</key><dict><key>w</key><integer>3</integer></dict><integer>4</integer></dict>"),
              1);
    EXPECT_EQ(IntAt(dict, L"a/x"), 1);
    auto* b = dynamic_cast<CXMLDict*>(dict[L"b"]);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetKeys().size(), 2u);  // s and z; the second value under z is dropped
    EXPECT_EQ(IntAt(*b, L"s"), 2);
    EXPECT_EQ(IntAt(*b, L"z/w"), 3);
}

// A string or key of white space only is no text for the reader, so it reads back empty; CDATA
// keeps white space. After that one change a second round trip changes nothing.
TEST(PlistRead, BlankTextsReadBackEmpty) {
    const struct { XMLNodeType kind; const wchar_t* saved; const wchar_t* read; } cases[] = {
        {eXMLString, L" \t ", L""},
        {eXMLString, L"\n", L""},
        {eXMLStringPSW, L"  ", L"  "},
        // White space at the ends of a text stays, also where the DOM's own text property trims it.
        {eXMLString, L" a ", L" a "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.saved).ToUtf8());
        CXMLDict dict, back, again;
        dict.AddElement(L"k", c.kind, Text(c.saved));
        ASSERT_EQ(RoundTrip(dict, back), 1);
        EXPECT_EQ(TextAt(back, L"k"), c.read);
        ASSERT_EQ(RoundTrip(back, again), 1);
        EXPECT_EQ(Body(again), Body(back));
    }
}

// Nothing beyond the predefined entities and character references is expanded or fetched: a DTD
// that declares entities is refused, whether they are used or not; other DTDs load.
TEST(PlistRead, EntitiesAreNotExpanded) {
    const struct { const wchar_t* doctype; int loads; } cases[] = {
        {L"<!DOCTYPE plist [<!ENTITY boom \"BOOM\">]>", 0},
        {L"<!DOCTYPE plist [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]>", 0},
        {L"<!DOCTYPE plist [<!ENTITY % pe \"<!ENTITY boom 'BOOM'>\"> %pe;]>", 0},
        {L"<!DOCTYPE plist>", 1},
        {L"<!DOCTYPE plist PUBLIC \"-//X//DTD P 1.0//EN\" \"p.dtd\">", 1},
        {L"<!DOCTYPE plist [<!ELEMENT plist ANY><!-- ] --><?p ]?>]>", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.doctype).ToUtf8());
        CXMLDict dict;
        ASSERT_EQ(Load(dict, (L"<?xml version=\"1.0\"?>" + CString(c.doctype) +
                              L"<plist><dict><key>a</key><string>&boom;</string></dict></plist>").str()),
                  0);  // an entity that is used
        // Line breaks between the elements, as other writers save them, are no values.
        ASSERT_EQ(Load(dict, (L"<?xml version=\"1.0\"?>\n" + CString(c.doctype) + L"\r\n<plist>\n<dict>\n\t<key>a</key>"
                              L"\r\n\t<string>&amp;&#65;</string>\n</dict></plist>\n").str()),
                  c.loads);
        if (c.loads) EXPECT_EQ(TextAt(dict, L"a"), L"&A");
    }
}

#if !defined(_WIN32)
// Depth is limited by memory, not by the call stack: parsing, reading, destroying and saving a
// document nested a million levels deep. Wine's DOM refuses such depths.
TEST(PlistRead, MillionLevelsDeepOnPosix) {
    constexpr int kDepth = 1000000;
    std::wstring text = L"<plist><dict><key>a</key>";
    for (int i = 0; i < kDepth; ++i) text += L"<array>";
    text += L"<integer>1</integer>";
    for (int i = 0; i < kDepth; ++i) text += L"</array>";
    text += L"</dict></plist>";
    CXMLDict dict;
    ASSERT_EQ(Load(dict, std::move(text)), 1);
    EXPECT_GT(Saved(dict).size(), static_cast<std::size_t>(kDepth) * 15);
}
#endif

// A value without a key element takes the key read last. One 20,000-character key taken by
// 20,000 values must be shared, not copied into 20,000 dictionaries (1.6 GB), nor compared in
// full on each insert into one dictionary.
TEST(PlistHostileRead, OneLongKeyForManyValues) {
    const int count = 20000;
    const CString key(L'k', count);
    std::wstring spread = L"<array>", repeated;
    for (int i = 0; i < count; ++i) {
        spread += L"<dict><integer>1</integer></dict>";
        repeated += L"<integer>2</integer>";
    }
    spread += L"</array>";
    // The last small dictionary holds 1 under the key; of the repeated values the first stays.
    const struct { std::wstring body; __int64 expected; } cases[] = {{spread, 1}, {repeated, 2}};
    for (const auto& c : cases) {
        CXMLDict dict;
        ASSERT_EQ(Load(dict, L"<plist><dict><key>" + key.str() + L"</key>" + c.body + L"</dict></plist>"), 1);
        EXPECT_EQ(dict.GetKeys().size(), 1u);
        CXMLElement* value = dict.GetChild(key);
        if (auto* array = dynamic_cast<CXMLArray*>(value)) {
            ASSERT_EQ(array->GetSize(), static_cast<unsigned>(count));
            value = dynamic_cast<CXMLDict&>(*(*array)[count - 1]).GetChild(key);
        }
        EXPECT_EQ(ValueAt<__int64>(value, -1), c.expected);
    }
}

TEST(PlistFile, HundredMegabyteString) {
#if defined(_WIN32)
    const std::size_t kSize = 8u << 20;  // the same code path; Wine's DOM needs minutes for 100 MB
#else
    const std::size_t kSize = 100u << 20;
#endif
    TempDir dir;
    const CString path = dir.Path(L"big.plist");
    WriteBytes(path, "<plist><dict><key>big</key><string>" + std::string(kSize, 'x') +
                                   "</string></dict></plist>");
    CXMLDict dict;
    ASSERT_EQ(dict.LoadFromFile(path), 1);
    EXPECT_EQ(static_cast<std::size_t>(TextAt(dict, L"big").GetLength()), kSize);
}

// The encodings a file may have; U+FFFE and U+FFFF are not XML characters in any of them, while in
// ISO-8859-1 the bytes of their UTF-8 forms are ordinary letters. A refused file changes nothing.
TEST(PlistFile, EncodingsAndNonCharacters) {
    auto utf16 = [](const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
        return bytes;
    };
    const std::string head = "<plist><dict><key>k</key><string>", tail = "</string></dict></plist>";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const struct { const char* name; std::string bytes; const wchar_t* text; } cases[] = {  // text null: refused
        {"utf-8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + head + "caf\xC3\xA9" + tail, L"caf\u00e9"},
        {"utf-8 with bom", "\xEF\xBB\xBF" + head + "caf\xC3\xA9" + tail, L"caf\u00e9"},
        // What other writers save: a document type and line breaks between the elements.
        {"doctype and line breaks", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//X//DTD "
         "PLIST 1.0//EN\" \"http://example.invalid/p.dtd\">\r\n<plist version=\"1.0\">\n<dict>\n\t<key>k</key>\r\n\t"
         "<string>caf\xC3\xA9</string>\n</dict>\n</plist>\n", L"caf\u00e9"},
        {"utf-16le with bom", utf16(L"<plist><dict><key>k</key><string>caf\u00e9</string></dict></plist>"),
         L"caf\u00e9"},
        {"latin-1", latin1 + head + "caf\xE9" + tail, L"caf\u00e9"},
        {"invalid utf-8", head + "caf\xE9" + tail, nullptr},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-unknown\"?>" + head + "caf\xC3\xA9" + tail, nullptr},
        {"utf-8 U+FFFE", head + "a\xEF\xBF\xBE" + tail, nullptr},
        {"utf-8 U+FFFF", "\xEF\xBB\xBF" + head + "\xEF\xBF\xBF" + tail, nullptr},
        {"utf-8 U+FFFF in a key", "<plist><dict><key>\xEF\xBF\xBF</key><string/></dict></plist>", nullptr},
        {"utf-16 U+FFFE", utf16(L"<plist><dict><key>k</key><string>\uFFFE</string></dict></plist>"), nullptr},
        {"utf-16 U+FFFF", utf16(L"<plist><dict><key>k</key><string>\uFFFF</string></dict></plist>"), nullptr},
        {"utf-8 U+FFFD", head + "\xEF\xBF\xBD" + tail, L"\uFFFD"},
        {"latin-1 letters", latin1 + head + "\xEF\xBF\xBE" + tail, L"\u00ef\u00bf\u00be"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.Path(L"enc.plist"), c.bytes);
        CXMLDict dict;
        dict.AddElement(L"keep", eXMLInt, 1);
        ASSERT_EQ(dict.LoadFromFile(dir.Path(L"enc.plist")), c.text != nullptr ? 1 : 0);
        EXPECT_EQ(IntAt(dict, L"keep"), c.text != nullptr ? -1 : 1);
        if (c.text != nullptr) EXPECT_EQ(TextAt(dict, L"k"), c.text);
    }
}

}  // namespace
