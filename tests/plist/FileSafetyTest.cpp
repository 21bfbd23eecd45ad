// Loading and saving property-list files as other programs and crashes meet them: files held by
// other openers, saves killed half-way, saves racing each other, links and folders the caller may
// not write.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "commonutility/FileOperation.h"
#include "commonutility/XMLDict.h"
#include "platform/Scoped.h"
#include "platform/win32.h"
#include "plist/FileText.h"
#include "support/LastError.h"
#include "support/PlistSupport.h"
#include "support/Printers.h"
#include "support/Process.h"

namespace {

using namespace cu::test;

CString SavedBody(const CString& path) {
    CXMLDict back;
    return back.LoadFromFile(path) == 1 ? Body(back) : CString(L"<not loaded>");
}

TEST(PlistFile, HeldWithoutSharingIsNotRead) {
    TempDir dir;
    const CString path = dir.Path(L"held.plist");
    CXMLDict saved, dict;
    saved.AddElement(L"a", eXMLInt, 1);
    ASSERT_EQ(saved.SaveToFile(path), 1);
    dict.AddElement(L"mine", eXMLInt, 2);
    const CString before = Body(dict);
    CFileOperation holder(path);
    ASSERT_EQ(holder.Open(GENERIC_READ, OPEN_EXISTING), 1);
    EXPECT_FAILS_WITH(dict.LoadFromFile(path), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Body(dict), before);
    holder.Close();
    EXPECT_EQ(dict.LoadFromFile(path), 1);
    EXPECT_EQ(Body(dict), Body(saved));
}

// What killed saves left beside a target goes with the next save of that target; the file of a
// save still under way (held open against deletion) and other targets' files stay.
TEST(PlistFile, NextSaveRemovesWhatKilledSavesLeft) {
    TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    const CString prefix = cu::detail::TemporaryPrefixFor(L"doc.plist");
    EXPECT_EQ(prefix, cu::detail::TemporaryPrefixFor(L"DOC.plist"));
    EXPECT_NE(prefix, cu::detail::TemporaryPrefixFor(L"other.plist"));
    const CString dead = dir.Path((prefix + L"1-0.tmp").GetString());
    const CString live = dir.Path((prefix + L"2-0.tmp").GetString());
    const CString other = dir.Path((cu::detail::TemporaryPrefixFor(L"other.plist") + L"1-0.tmp").GetString());
    for (const CString& name : {dead, live, other}) WriteBytes(name, "partial");
    const cu::platform::ScopedFile inProgress(
        CreateFileW(live, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(inProgress.IsValid());

    CXMLDict dict;
    dict.AddElement(L"a", eXMLInt, 1);
    ASSERT_EQ(dict.SaveToFile(path), 1);
    EXPECT_FALSE(Exists(dead));
    EXPECT_TRUE(Exists(live));
    EXPECT_TRUE(Exists(other));
    EXPECT_EQ(SavedBody(path), Body(dict));
}

// Every thread saves its own document into its own file of one folder and reads back what it
// saved, many times over.
TEST(PlistFile, ConcurrentSavesAllLand) {
    TempDir dir;
    constexpr int kThreads = 8, kRounds = 15;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CString name;
            name.Format(L"doc%d.plist", t);
            const CString path = dir.Path(name.GetString());
            for (int round = 0; round < kRounds; ++round) {
                CXMLDict dict;
                dict.AddElement(L"thread", eXMLInt, t);
                dict.AddElement(L"round", eXMLInt, round);
                CXMLDict back;
                if (dict.SaveToFile(path) != 1 || back.LoadFromFile(path) != 1 || Body(back) != Body(dict))
                    ++mismatches;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(EntryCount(dir), static_cast<std::size_t>(kThreads));
}

// Readers turn a raw carriage return into a line feed; the writer's references keep it.
TEST(PlistFile, CarriageReturnsSurvive) {
    TempDir dir;
    const CString path = dir.Path(L"cr.plist");
    CXMLDict dict;
    dict.AddElement(L"cr", eXMLString, Text(L"a\rb"));
    dict.AddElement(L"crlf", eXMLString, Text(L"a\r\nb\r"));
    dict.AddElement(L"tail", eXMLString, Text(L"line\r\n"));
#if !defined(_WIN32)
    // The Windows DOM drops character data of white space alone, even from a reference.
    dict.AddElement(L"only", eXMLString, Text(L"\r"));
#endif
    dict.AddElement(L"key\r", eXMLInt, 1);
    dict.AddElement(L"pw", eXMLStringPSW, Text(L"\rx]]>y\r\n"));
    ASSERT_EQ(dict.SaveToFile(path), 1);
    EXPECT_EQ(ReadBytes(path).find('\r'), std::string::npos);
    EXPECT_EQ(SavedBody(path), Body(dict));  // a lost or turned carriage return saves otherwise
}

#if !defined(_WIN32)
// Links keep their shape: renaming over a file with other names would part them from the new
// content, so such a file is written in place; a dangling symbolic link gets its target made and
// stays a link.
TEST(PlistFileLinux, LinksKeepPointingAtTheSavedContent) {
    TempDir dir;
    const CString path = dir.Path(L"doc.plist"), other = dir.Path(L"other.plist");
    const CString link = dir.Path(L"link.plist"), target = dir.Path(L"target.plist");
    CXMLDict first, second;
    first.AddElement(L"v", eXMLInt, 1);
    second.AddElement(L"v", eXMLInt, 2);
    ASSERT_EQ(first.SaveToFile(path), 1);
    ASSERT_EQ(::link(path.ToUtf8().c_str(), other.ToUtf8().c_str()), 0);
    ASSERT_EQ(second.SaveToFile(path), 1);
    EXPECT_EQ(SavedBody(other), Body(second));

    ASSERT_EQ(symlink("target.plist", link.ToUtf8().c_str()), 0);
    ASSERT_EQ(first.SaveToFile(link), 1);
    struct stat status;
    ASSERT_EQ(lstat(link.ToUtf8().c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(SavedBody(target), Body(first));
    EXPECT_EQ(EntryCount(dir), 4u);  // nothing left beside them
}

// A file the caller may write, in a folder the caller may not: no file can be made beside it,
// so the save writes into it.
TEST(PlistFileLinux, WritableFileInUnwritableFolderIsWrittenInPlace) {
    TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    CXMLDict first, second;
    first.AddElement(L"v", eXMLInt, 1);
    second.AddElement(L"v", eXMLInt, 2);
    ASSERT_EQ(first.SaveToFile(path), 1);
    ASSERT_EQ(chmod(path.ToUtf8().c_str(), 0666), 0);
    EXPECT_EQ(ExitStatusWithoutWriteAccess(dir.Path(), [&] { return second.SaveToFile(path) == 1 ? 0 : 1; }), 0);
    EXPECT_EQ(SavedBody(path), Body(second));
    EXPECT_EQ(EntryCount(dir), 1u);
}

// A document large enough that a kill often lands while it is being written.
void FillLarge(CXMLDict& dict, int variant) {
    for (int i = 0; i < 20000; ++i) {
        CString key, value;
        key.Format(L"key%05d", i);
        value.Format(L"value %d of variant %d, long enough to take some time to write", i, variant);
        dict.AddElement(key, eXMLString, Text(value.GetString()));
    }
}

TEST(PlistFileLinux, KilledSavesLeaveAWholeFileAndNothingThatLasts) {
    TempDir dir;
    const CString path = dir.Path(L"doc.plist");
    CXMLDict first, second;
    FillLarge(first, 1);
    FillLarge(second, 2);
    ASSERT_EQ(second.SaveToFile(path), 1);
    const std::string secondBytes = ReadBytes(path);
    ASSERT_EQ(first.SaveToFile(path), 1);
    const std::string firstBytes = ReadBytes(path);

    std::mt19937 random(20261206);
    int interrupted = 0;  // kills that caught a save before it replaced the file
    for (int round = 0; round < 30; ++round) {
        const pid_t child = Spawn([&]() -> int {
            for (;;) {
                second.SaveToFile(path);
                first.SaveToFile(path);
            }
        });
        ASSERT_GE(child, 0);
        // Every other kill waits until a save has its temporary file, which lives only for the few
        // milliseconds of the write; the others come at random moments.
        if (round % 2 == 0) {
            for (int poll = 0; poll < 200000 && EntryCount(dir) < 2; ++poll) {
            }
        } else {
            usleep(1000 + random() % 60000);
        }
        kill(child, SIGKILL);
        ExitStatus(child);
        const std::string now = ReadBytes(path);
        EXPECT_TRUE(now == firstBytes || now == secondBytes) << "torn after kill " << round;
        if (EntryCount(dir) > 1) ++interrupted;
    }
    EXPECT_GT(interrupted, 0);
    ASSERT_EQ(first.SaveToFile(path), 1);
    EXPECT_EQ(EntryCount(dir), 1u);
    EXPECT_EQ(ReadBytes(path), firstBytes);
}
#endif

}  // namespace
