// A process killed while it saves never leaves a torn document: the file always loads, holding
// either the old tree or the new one.
#include <gtest/gtest.h>

#include <random>

#include "commonutility/XMLDict.h"
#include "support/PlistSupport.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// A tree large enough that a save takes a few milliseconds, marked by its generation.
void FillGeneration(CXMLDict& dict, int generation) {
    cu::test::FillRandomTree(dict, static_cast<unsigned>(generation));
    for (int i = 0; i < 3000; ++i) {
        CString key;
        key.Format(L"bulk%05d", i);
        dict.AddElement(key, eXMLString, cu::test::Text(L"some text to make the file longer"));
    }
    dict.AddElement(L"generation", eXMLInt, static_cast<unsigned __int64>(generation));
}

// SIGKILL is POSIX only; Windows offers no way to stop a process at an arbitrary instruction that
// Wine would reproduce faithfully.
TEST(PlistFileKill, KilledSavesLeaveTheOldOrTheNewFileOnPosix) {
    cu::test::TempDir dir;
    const CString path = dir.Path(L"killed.plist");
    CXMLDict first, second;
    FillGeneration(first, 1);
    FillGeneration(second, 2);
    ASSERT_EQ(first.SaveToFile(path), 1);

    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) (i % 2 == 0 ? second : first).SaveToFile(path);
        }
        const timespec pause{0, static_cast<long>(random() % 40000000)};  // up to 40 ms
        nanosleep(&pause, nullptr);
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        CXMLDict loaded;
        ASSERT_EQ(loaded.LoadFromFile(path), 1);
        __int64 generation = 0;
        ASSERT_NE(loaded[L"generation"], nullptr);
        loaded[L"generation"]->GetValue(&generation);
        ASSERT_TRUE(generation == 1 || generation == 2);
        EXPECT_EQ(cu::test::Body(loaded), cu::test::Body(generation == 1 ? first : second));
    }
}

}  // namespace
#endif
