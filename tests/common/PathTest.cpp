// The path helpers of CFileOperation: splitting, the folder part, joining, trailing delimiters,
// the length limits (in UTF-16 code units), the program's path and the temporary folder. Windows
// paths are checked on Windows; on POSIX the same rules with '/' and without drives.
#include <gtest/gtest.h>

#include <string>

#include "commonutility/FileOperation.h"
#include "platform/win32.h"
#include "support/Printers.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

constexpr wchar_t kDelimiter = cu::platform::kPathDelimiter;

using PathPart = CString (*)(const CString&);
using Trim = void (*)(CString&);
#define OPERATION(name) #name, &CFileOperation::name

struct PartCase {
    const char* operation;
    PathPart part;
    CString path;
    CString expected;
};

struct TrimCase {
    const char* operation;
    Trim trim;
    CString path;
    CString expected;
};

struct JoinCase {
    CString first;
    CString second;
    CString expected;
};

template <std::size_t N>
void Check(const PartCase (&cases)[N]) {
    for (const PartCase& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " of " + c.path.ToUtf8());
        EXPECT_EQ(c.part(c.path), c.expected);
    }
}

template <std::size_t N>
void Check(const TrimCase (&cases)[N]) {
    for (const TrimCase& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " of " + c.path.ToUtf8());
        CString path(c.path);
        c.trim(path);
        EXPECT_EQ(path, c.expected);
    }
}

template <std::size_t N>
void Check(const JoinCase (&cases)[N]) {
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.first.ToUtf8() + " + " + c.second.ToUtf8());
        EXPECT_EQ(CFileOperation::Concatenate(c.first, c.second), c.expected);
    }
}

#if defined(_WIN32)

TEST(PathParts, SplitWindowsPaths) {
    const PartCase cases[] = {
        {OPERATION(GetRootPath), L"C:\\Data\\clip.mp4", L"C:\\"},
        {OPERATION(GetRootPathWithoutDelimiter), L"C:\\Data\\clip.mp4", L"C:"},
        {OPERATION(GetRootPath), L"\\\\server\\share\\clip.mp4", L""},
        {OPERATION(GetRootPath), L"clip.mp4", L""},
        {OPERATION(GetRootPathWithoutDelimiter), L"clip.mp4", L""},
        {OPERATION(GetFileExt), L"C:\\Data\\clip.mp4", L".mp4"},
        {OPERATION(GetFileExt), L"C:\\Data\\archive.tar.gz", L".gz"},
        {OPERATION(GetFileExt), L"C:\\Data\\README", L""},
        {OPERATION(GetFileExt), L"C:\\Data.d\\README", L""},
        {OPERATION(GetFileName), L"C:\\Data\\clip.mp4", L"clip"},
        {OPERATION(GetFileName), L"C:\\Data\\", L""},
        {OPERATION(GetFileFullName), L"C:\\Data\\clip.mp4", L"clip.mp4"},
        {OPERATION(GetFileFullName), L"C:/Data/clip.mp4", L"clip.mp4"},
        {OPERATION(GetFileDir), L"C:\\Data\\clip.mp4", L"C:\\Data\\"},
        {OPERATION(GetFileDir), L"C:\\Data\\Sub\\", L"C:\\Data\\"},
        {OPERATION(GetFileDir), L"C:\\Data", L"C:\\"},
        {OPERATION(GetFileDir), L"C:\\", L""},
        {OPERATION(GetFileDir), L"\\\\server\\share", L""},
        {OPERATION(GetFileDir), L"clip.mp4", L""},
        {OPERATION(GetFileDir), L"C:/Data/clip.mp4", L""},
        {OPERATION(GetFileDir), L"", L""},
    };
    Check(cases);
}

TEST(PathJoin, JoinsWindowsPathsWithOneDelimiter) {
    const JoinCase cases[] = {
        {L"C:\\Data", L"clip.mp4", L"C:\\Data\\clip.mp4"},
        {L"C:\\Data\\", L"\\clip.mp4", L"C:\\Data\\clip.mp4"},
        {L"C:\\Data", L"\\clip.mp4", L"C:\\Data\\clip.mp4"},
        {L"C:\\Data\\", L"clip.mp4", L"C:\\Data\\clip.mp4"},
        {L"", L"clip.mp4", L"\\clip.mp4"},
        {L"C:\\Data", L"", L"C:\\Data\\"},
        {L"C:\\Data\\\\", L"\\\\clip.mp4", L"C:\\Data\\\\\\clip.mp4"},
    };
    Check(cases);
    const TrimCase trims[] = {
        {OPERATION(CutTailPathDelimiter), L"C:\\Data\\", L"C:\\Data"},
        {OPERATION(CutTailPathDelimiter), L"C:\\Data\\\\", L"C:\\Data\\"},
        {OPERATION(CutTailPathDelimiter), L"C:\\", L"C:"},
        {OPERATION(CutTailPathDelimiter), L"", L""},
        {OPERATION(AppendTailPathDelimiter), L"C:\\Data", L"C:\\Data\\"},
        {OPERATION(AppendTailPathDelimiter), L"C:\\Data\\", L"C:\\Data\\"},
        {OPERATION(AppendTailPathDelimiter), L"", L"\\"},
    };
    Check(trims);
}

#else

TEST(PathParts, SplitPosixPathsAtSlashesOnly) {
    const PartCase cases[] = {
        // No drives: the root operations always give "".
        {OPERATION(GetRootPath), L"/Data/clip.mp4", L""},
        {OPERATION(GetRootPathWithoutDelimiter), L"/Data/clip.mp4", L""},
        {OPERATION(GetRootPath), L"C:/Data/clip.mp4", L""},
        {OPERATION(GetFileExt), L"/Data/clip.mp4", L".mp4"},
        {OPERATION(GetFileExt), L"/Data/archive.tar.gz", L".gz"},
        {OPERATION(GetFileExt), L"/Data/README", L""},
        {OPERATION(GetFileExt), L"/Data.d/README", L""},
        {OPERATION(GetFileExt), L"/home/user/.profile", L".profile"},
        {OPERATION(GetFileName), L"/Data/clip.mp4", L"clip"},
        {OPERATION(GetFileName), L"/Data/", L""},
        {OPERATION(GetFileFullName), L"/Data/clip.mp4", L"clip.mp4"},
        // A backslash is an ordinary character of a name.
        {OPERATION(GetFileFullName), L"C:\\Data\\clip.mp4", L"C:\\Data\\clip.mp4"},
        {OPERATION(GetFileName), L"/Data/a\\b.txt", L"a\\b"},
        {OPERATION(GetFileDir), L"/Data/clip.mp4", L"/Data/"},
        {OPERATION(GetFileDir), L"/Data/Sub/", L"/Data/"},
        {OPERATION(GetFileDir), L"/Data", L"/"},
        {OPERATION(GetFileDir), L"/", L""},
        {OPERATION(GetFileDir), L"//", L""},
        {OPERATION(GetFileDir), L"Data/clip.mp4", L"Data/"},
        {OPERATION(GetFileDir), L"clip.mp4", L""},
        {OPERATION(GetFileDir), L"\\Data\\clip.mp4", L""},
        {OPERATION(GetFileDir), L"", L""},
    };
    Check(cases);
}

TEST(PathJoin, JoinsPosixPathsWithOneSlash) {
    const JoinCase cases[] = {
        {L"/Data", L"clip.mp4", L"/Data/clip.mp4"},
        {L"/Data/", L"/clip.mp4", L"/Data/clip.mp4"},
        {L"/Data", L"/clip.mp4", L"/Data/clip.mp4"},
        {L"/Data/", L"clip.mp4", L"/Data/clip.mp4"},
        {L"", L"clip.mp4", L"/clip.mp4"},
        {L"/Data", L"", L"/Data/"},
        {L"/", L"/", L"/"},
        {L"/Data//", L"//clip.mp4", L"/Data///clip.mp4"},
        {L"C:\\Data", L"clip.mp4", L"C:\\Data/clip.mp4"},
    };
    Check(cases);
    const TrimCase trims[] = {
        {OPERATION(CutTailPathDelimiter), L"/Data/", L"/Data"},
        {OPERATION(CutTailPathDelimiter), L"/Data//", L"/Data/"},
        {OPERATION(CutTailPathDelimiter), L"/", L""},
        {OPERATION(CutTailPathDelimiter), L"/Data\\", L"/Data\\"},
        {OPERATION(CutTailPathDelimiter), L"", L""},
        {OPERATION(AppendTailPathDelimiter), L"/Data", L"/Data/"},
        {OPERATION(AppendTailPathDelimiter), L"/Data/", L"/Data/"},
        {OPERATION(AppendTailPathDelimiter), L"", L"/"},
    };
    Check(trims);
}

#endif

// count characters ch, each one or two UTF-16 units.
CString Repeat(const wchar_t* ch, int count) {
    CString text;
    for (int i = 0; i < count; ++i) text += ch;
    return text;
}

// A path of exactly `units` UTF-16 code units whose last component is name.
CString PathOfUnits(int units, const wchar_t* name) {
    const CString tail = CString(kDelimiter) + name;
    return Repeat(L"d", units - tail.GetUtf16Length()) + tail;
}

TEST(PathLimits, CountUtf16Units) {
    const wchar_t* kAstral = L"\U0001F600";  // two UTF-16 units, one wchar_t where it is UTF-32
    // Splitting takes paths of at most 259 units.
    for (const PathPart part : {&CFileOperation::GetFileExt, &CFileOperation::GetFileName,
                                &CFileOperation::GetFileFullName}) {
        EXPECT_NE(part(PathOfUnits(259, L"x.txt")), L"");
        EXPECT_EQ(part(PathOfUnits(260, L"x.txt")), L"");
        EXPECT_EQ(part(Repeat(kAstral, 125) + PathOfUnits(10, L"x.txt")), L"");
    }
    // A name or an extension part of more than 255 units cannot be split.
    const CString name255 = CString(kDelimiter) + Repeat(L"n", 255);
    EXPECT_EQ(CFileOperation::GetFileName(name255 + L".e"), Repeat(L"n", 255));
    EXPECT_EQ(CFileOperation::GetFileExt(name255 + L"n.e"), L"");
    EXPECT_EQ(CFileOperation::GetFileExt(CString(kDelimiter) + Repeat(kAstral, 128) + L".e"), L"");
    EXPECT_EQ(CFileOperation::GetFileExt(CString(kDelimiter) + L"n." + Repeat(L"e", 254)),
              L"." + Repeat(L"e", 254));
    EXPECT_EQ(CFileOperation::GetFileName(CString(kDelimiter) + L"n." + Repeat(L"e", 255)), L"");

    // Concatenate joins parts of up to 256 units.
    const CString part256 = Repeat(L"p", 256);
    EXPECT_EQ(CFileOperation::Concatenate(part256, part256).GetLength(), 513);
    EXPECT_EQ(CFileOperation::Concatenate(part256 + L"p", L"x"), L"");
    EXPECT_EQ(CFileOperation::Concatenate(L"x", Repeat(kAstral, 129)), L"");

    // AppendTailPathDelimiter takes up to 256 units, CutTailPathDelimiter up to 260.
    const TrimCase trims[] = {
        {OPERATION(AppendTailPathDelimiter), Repeat(L"a", 256), (Repeat(L"a", 256) + kDelimiter)},
        {OPERATION(AppendTailPathDelimiter), Repeat(L"a", 257), Repeat(L"a", 257)},
        {OPERATION(AppendTailPathDelimiter), Repeat(kAstral, 129), Repeat(kAstral, 129)},
        {OPERATION(CutTailPathDelimiter), (Repeat(L"a", 259) + kDelimiter), Repeat(L"a", 259)},
        {OPERATION(CutTailPathDelimiter), (Repeat(L"a", 260) + kDelimiter), (Repeat(L"a", 260) + kDelimiter)},
    };
    Check(trims);
}

TEST(WellKnownPaths, NameTheProgramAndTheTemporaryFolder) {
    const CString app = CFileOperation::GetAppPath();
    EXPECT_EQ(CFileOperation::IsFileAvailable(app), 1) << app.ToUtf8();
    EXPECT_EQ(CFileOperation::GetFileName(app), L"file_tests");

    const CString temp = CFileOperation::GetTempDir();
    ASSERT_FALSE(temp.IsEmpty());
    EXPECT_EQ(temp.GetAt(temp.GetLength() - 1), kDelimiter);
    EXPECT_EQ(CFileOperation::IsDirAvailable(temp), 1) << temp.ToUtf8();
}

#if !defined(_WIN32)
// Where the temporary folder comes from an environment variable, it can be too long.
TEST(WellKnownPaths, TemporaryFolderBeyondTheLimitIsEmpty) {
    struct Case {
        std::string tmpdir;
        bool fits;
    } cases[] = {
        {"/" + std::string(257, 't'), true},                // 259 units with the added slash
        {"/" + std::string(258, 't'), false},               // 260
        {"/" + std::string(256, 't') + "\xF0\x9F\x98\x80", false},  // 259 wchar_t, 260 units
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir.size());
        cu::test::ScopedEnv env("TMPDIR", c.tmpdir.c_str());
        const CString temp = CFileOperation::GetTempDir();
        if (c.fits)
            EXPECT_EQ(temp.ToUtf8(), c.tmpdir + "/");
        else
            EXPECT_EQ(temp, L"");
    }
}
#endif

TEST(FileObject, KeepsItsPathWithinTheLimit) {
    CFileOperation empty;
    EXPECT_EQ(empty.GetPath(), L"");
    CFileOperation file(CString(L"clip.mp4"));
    EXPECT_EQ(file.GetPath(), L"clip.mp4");

    const CString path260 = PathOfUnits(260, L"a");
    EXPECT_EQ(file.SetPath(path260), 1);
    EXPECT_EQ(file.GetPath(), path260);
    EXPECT_EQ(file.SetPath(PathOfUnits(261, L"a")), 0);
    EXPECT_EQ(file.GetPath(), path260);

    CFileOperation copy(file);
    EXPECT_EQ(copy.GetPath(), path260);
    empty = copy;
    EXPECT_EQ(empty.GetPath(), path260);
}

}  // namespace
