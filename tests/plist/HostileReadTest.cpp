// Reading property-list XML built to cost far more than its size.
#include <gtest/gtest.h>

#include <string>

#include "commonutility/XMLDict.h"

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
        std::wstring text = L"<plist><dict><key>" + key.str() + L"</key>" + c.body;
        text += L"</dict></plist>";
        CXMLDict dict;
        ASSERT_EQ(dict.LoadFromMemFile(&text[0]), 1);
        EXPECT_EQ(dict.GetKeys().size(), 1u);
        CXMLElement* value = dict.GetChild(key);
        if (auto* array = dynamic_cast<CXMLArray*>(value)) {
            ASSERT_EQ(array->GetSize(), static_cast<unsigned>(count));
            value = dynamic_cast<CXMLDict&>(*(*array)[count - 1]).GetChild(key);
        }
        __int64 got = 0;
        ASSERT_NE(value, nullptr);
        value->GetValue(&got);
        EXPECT_EQ(got, c.expected);
    }
}
