// The path helpers of CFileOperation: splitting, the folder part, joining, trailing delimiters and
// the length limits, which count UTF-16 code units. One table serves Windows and POSIX: in it '\\'
// stands for the platform's delimiter and '/' for the other platform's, and WIN_POSIX picks the
// expectation where the platforms differ.
#include <gtest/gtest.h>

#include <string>

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/Printers.h"

namespace {

#if defined(_WIN32)
#define WIN_POSIX(windows, posix) windows
#else
#define WIN_POSIX(windows, posix) posix
#endif
constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter, kForeign = WIN_POSIX(L'/', L'\\');
const wchar_t* const kAstral = L"\U0001F600";  // two UTF-16 units, one wchar_t where it is UTF-32

CString Native(const CString& text) {
    std::wstring native = text.str();
    for (wchar_t& ch : native) ch = ch == L'\\' ? kDelimiter : ch == L'/' ? kForeign : ch;
    return CString(std::move(native));
}

CString Repeat(const wchar_t* ch, int count) {
    CString text;
    for (int i = 0; i < count; ++i) text += ch;
    return text;
}

// Concatenate of the parts before and after the '|'.
CString Join(const CString& parts) {
    const int bar = parts.Find(L'|');
    return CFileOperation::Concatenate(parts.Left(bar), parts.Mid(bar + 1));
}

struct Case { const char* operation; CString (*apply)(const CString&); CString path; CString expected; };
#define OP(name) #name, &CFileOperation::name
#define TRIM(name) #name, [](const CString& path) { CString trimmed(path); CFileOperation::name(trimmed); return trimmed; }
#define JOIN "Concatenate", &Join

template <std::size_t N>
void Check(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " of " + Native(c.path).ToUtf8());
        EXPECT_EQ(c.apply(Native(c.path)), Native(c.expected));
    }
}

TEST(PathRules, SplitJoinTrimAndLimits) {
    const CString d(L'\\'), n255 = Repeat(L"n", 255), p256 = Repeat(L"p", 256);
    const Case cases[] = {
        {OP(GetRootPath), L"C:\\Data\\clip.mp4", WIN_POSIX(L"C:\\", L"")},
        {OP(GetRootPathWithoutDelimiter), L"C:\\Data\\clip.mp4", WIN_POSIX(L"C:", L"")},
        {OP(GetRootPath), L"\\\\server\\share\\clip.mp4", L""},
        {OP(GetFileExt), L"\\Data\\archive.tar.gz", L".gz"},
        {OP(GetFileExt), L"\\Data.d\\README", L""},
        {OP(GetFileExt), L"\\home\\.profile", L".profile"},
        {OP(GetFileName), L"\\Data\\clip.mp4", L"clip"},
        {OP(GetFileName), L"\\Data\\", L""},
        {OP(GetFileFullName), L"\\Data\\clip.mp4", L"clip.mp4"},
        {OP(GetFileDir), L"\\Data\\clip.mp4", L"\\Data\\"},
        {OP(GetFileDir), L"\\Data\\Sub\\", L"\\Data\\"},
        {OP(GetFileDir), L"C:\\Data", L"C:\\"},
        {OP(GetFileDir), L"C:\\", L""},
        {OP(GetFileDir), L"\\", L""},
        {OP(GetFileDir), L"\\\\", L""},
        {OP(GetFileDir), L"\\\\server\\share", WIN_POSIX(L"", L"\\\\server\\")},
        {OP(GetFileDir), L"clip.mp4", L""},
        // Windows splits names at '/' as well, but takes no folder part there; on POSIX a backslash
        // is an ordinary character.
        {OP(GetFileFullName), L"C:/Data/clip.mp4", WIN_POSIX(L"clip.mp4", L"C:/Data/clip.mp4")},
        {OP(GetFileName), L"\\Data\\a/b.txt", WIN_POSIX(L"b", L"a/b")},
        {OP(GetFileDir), L"C:/Data/clip.mp4", L""},
        {TRIM(CutTailPathDelimiter), L"\\Data/", L"\\Data/"},
        {JOIN, L"\\Data|clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data\\|\\clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data|\\clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"\\Data\\|clip.mp4", L"\\Data\\clip.mp4"},
        {JOIN, L"|clip.mp4", L"\\clip.mp4"},
        {JOIN, L"\\Data|", L"\\Data\\"},
        {JOIN, L"\\Data\\\\|\\\\clip.mp4", L"\\Data\\\\\\clip.mp4"},
        {TRIM(CutTailPathDelimiter), L"\\Data\\\\", L"\\Data\\"},
        {TRIM(CutTailPathDelimiter), L"C:\\", L"C:"},
        {TRIM(AppendTailPathDelimiter), L"\\Data", L"\\Data\\"},
        {TRIM(AppendTailPathDelimiter), L"\\Data\\", L"\\Data\\"},
        {TRIM(AppendTailPathDelimiter), L"", L"\\"},
        // Splitting takes paths of at most 259 units, names and extensions of at most 255.
        {OP(GetFileFullName), Repeat(L"d", 253) + d + L"x.txt", L"x.txt"},
        {OP(GetFileName), Repeat(L"d", 254) + d + L"x.txt", L""},
        {OP(GetFileExt), Repeat(kAstral, 125) + L"dddd" + d + L"x.txt", L""},
        {OP(GetFileName), d + n255 + L".e", n255},
        {OP(GetFileExt), d + n255 + L"n.e", L""},
        {OP(GetFileExt), d + Repeat(kAstral, 128) + L".e", L""},
        {OP(GetFileExt), d + L"n." + Repeat(L"e", 254), L"." + Repeat(L"e", 254)},
        {OP(GetFileName), d + L"n." + Repeat(L"e", 255), L""},
        // Concatenate and AppendTailPathDelimiter take up to 256 units, CutTailPathDelimiter 260.
        {JOIN, p256 + L"|" + p256, p256 + d + p256},
        {JOIN, p256 + L"p|x", L""},
        {JOIN, L"x|" + Repeat(kAstral, 129), L""},
        {TRIM(AppendTailPathDelimiter), p256, p256 + d},
        {TRIM(AppendTailPathDelimiter), p256 + L"p", p256 + L"p"},
        {TRIM(AppendTailPathDelimiter), Repeat(kAstral, 129), Repeat(kAstral, 129)},
        {TRIM(CutTailPathDelimiter), Repeat(L"a", 259) + d, Repeat(L"a", 259)},
        {TRIM(CutTailPathDelimiter), Repeat(L"a", 260) + d, Repeat(L"a", 260) + d},
    };
    Check(cases);
}

TEST(FileObject, KeepsItsPathWithinTheLimit) {
    const CString path260 = Repeat(L"a", 256) + Repeat(kAstral, 2);  // 258 wchar_t where UTF-32
    CFileOperation file(CString(L"clip.mp4"));
    EXPECT_EQ(file.SetPath(path260), 1);
    EXPECT_EQ(file.SetPath(path260 + L"a"), 0);
    EXPECT_EQ(file.GetPath(), path260);  // a refused path leaves the one before
    EXPECT_EQ(file.IsReadOnly(), 0);     // no such file
    CFileOperation copy(file), assigned;
    assigned = copy;
    EXPECT_EQ(assigned.GetPath(), path260);
}

}  // namespace
