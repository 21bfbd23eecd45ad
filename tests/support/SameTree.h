// For the tests and the fuzz targets: comparison of two element trees, without recursion, and a
// dictionary that reads text through the DOM wrappers, as a caller's own document is read.
#pragma once

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "commonutility/DateTime.h"
#include "commonutility/XMLDict.h"
#include "plist/dom/Dom.h"
#include "support/PlistSupport.h"

namespace cu::test {

// How values are compared: as the writer writes them (a real as "%f", a date by its fields), or
// exactly (a real and a date's day count bit for bit, and a date's status).
enum class Compare { AsWritten, Exactly };

// Whether two trees have the same keys, kinds and values.
inline bool SameTree(CXMLElement& first, CXMLElement& second, Compare compare = Compare::AsWritten) {
    auto text = [](double value) {
        CString written;
        written.Format(L"%f", value);
        return written;
    };
    auto fields = [](const CCommonDateTime& date) {  // the day of week is not written
        long f[7] = {};
        const long has = date.GetDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
        return std::vector<long>{has, f[0], f[1], f[2], f[3], f[4], f[5]};
    };
    std::vector<std::pair<CXMLElement*, CXMLElement*>> pending{{&first, &second}};
    while (!pending.empty()) {
        auto [a, b] = pending.back();
        pending.pop_back();
        if ((a == nullptr) != (b == nullptr)) return false;
        if (a == nullptr) continue;
        const XMLNodeType kind = a->GetIniNodeType();
        if (kind != b->GetIniNodeType()) return false;
        const bool exactly = compare == Compare::Exactly;
        switch (kind) {
            case eXMLDict: {
                auto& da = static_cast<CXMLDict&>(*a);
                auto& db = static_cast<CXMLDict&>(*b);
                const std::vector<CString> keys = da.GetKeys();
                if (keys != db.GetKeys()) return false;
                for (const CString& key : keys) pending.emplace_back(da.GetChild(key), db.GetChild(key));
                break;
            }
            case eXMLArray: {
                auto& aa = static_cast<CXMLArray&>(*a);
                auto& ab = static_cast<CXMLArray&>(*b);
                if (aa.GetSize() != ab.GetSize()) return false;
                for (int i = 0; i < static_cast<int>(aa.GetSize()); ++i) pending.emplace_back(aa[i], ab[i]);
                break;
            }
            case eXMLReal: {
                const double va = ValueAt(a, 0.0), vb = ValueAt(b, 0.0);
                if (exactly ? std::memcmp(&va, &vb, sizeof va) != 0 : text(va) != text(vb)) return false;
                break;
            }
            case eXMLDate: {
                const CCommonDateTime va = ValueAt(a, CCommonDateTime()), vb = ValueAt(b, CCommonDateTime());
                if (exactly ? std::memcmp(&va.m_dt, &vb.m_dt, sizeof va.m_dt) != 0 || va.GetStatus() != vb.GetStatus()
                            : fields(va) != fields(vb))
                    return false;
                break;
            }
            case eXMLString:
            case eXMLStringPSW:
                if (ValueAt(a, CString()) != ValueAt(b, CString())) return false;
                break;
            default:  // booleans give their value as int, integers as __int64
                if (ValueAt(a, 0) != ValueAt(b, 0) || ValueAt<__int64>(a, 0) != ValueAt<__int64>(b, 0)) return false;
                break;
        }
    }
    return true;
}

// Reads zero-terminated text as LoadFromMemFile does, but walking the DOM wrappers.
class DomReadDict : public CXMLDict {
public:
    int ReadThroughDom(const wchar_t* text) {
        CXMLDOMDocument2 doc;
        if (GetXMLDocInstance(doc) == 0 || !doc.LoadXML(text, std::wcslen(text))) return 0;
        return ReadFromXMLDocument(doc);
    }
};

}  // namespace cu::test
