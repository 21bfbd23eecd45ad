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

namespace cu::test {

// How values are compared: as the writer writes them (a real as "%f", a date by its fields), or
// exactly (a real and a date's day count bit for bit, and a date's status).
enum class Compare { AsWritten, Exactly };

// Whether two trees have the same keys, kinds and values.
inline bool SameTree(CXMLElement& first, CXMLElement& second, Compare compare = Compare::AsWritten) {
    std::vector<std::pair<CXMLElement*, CXMLElement*>> pending{{&first, &second}};
    while (!pending.empty()) {
        auto [a, b] = pending.back();
        pending.pop_back();
        if ((a == nullptr) != (b == nullptr)) return false;
        if (a == nullptr) continue;
        const XMLNodeType kind = a->GetIniNodeType();
        if (kind != b->GetIniNodeType()) return false;
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
                double va = 0, vb = 0;
                a->GetValue(&va);
                b->GetValue(&vb);
                if (compare == Compare::Exactly) {
                    if (std::memcmp(&va, &vb, sizeof va) != 0) return false;
                    break;
                }
                CString ta, tb;
                ta.Format(L"%f", va);
                tb.Format(L"%f", vb);
                if (ta != tb) return false;
                break;
            }
            case eXMLDate: {
                CCommonDateTime va, vb;
                a->GetValue(&va);
                b->GetValue(&vb);
                if (compare == Compare::Exactly) {
                    if (std::memcmp(&va.m_dt, &vb.m_dt, sizeof va.m_dt) != 0 || va.GetStatus() != vb.GetStatus())
                        return false;
                    break;
                }
                long fa[7] = {}, fb[7] = {};
                if (va.GetDateTime(fa[0], fa[1], fa[2], fa[3], fa[4], fa[5], fa[6]) !=
                    vb.GetDateTime(fb[0], fb[1], fb[2], fb[3], fb[4], fb[5], fb[6]))
                    return false;
                for (int i = 0; i < 6; ++i)
                    if (fa[i] != fb[i]) return false;
                break;
            }
            case eXMLString:
            case eXMLStringPSW: {
                CString va, vb;
                a->GetValue(&va);
                b->GetValue(&vb);
                if (va != vb) return false;
                break;
            }
            default: {
                __int64 va = 0, vb = 0;
                a->GetValue(&va);
                b->GetValue(&vb);
                int ia = 0, ib = 0;
                a->GetValue(&ia);
                b->GetValue(&ib);
                if (va != vb || ia != ib) return false;
                break;
            }
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
