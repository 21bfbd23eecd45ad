// CUtility and CCommonCriticalSection: fitting rectangles, the version and word-size answers, the
// execution state that the power operations set and put back, the host address test and the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <ostream>
#include <thread>
#include <utility>
#include <vector>

#include "commonutility/Utility.h"
#include "platform/win32.h"
#include "support/Wine.h"

#ifndef _WIN32
#include <unistd.h>

#include "support/Process.h"
#endif

// Found by GoogleTest through argument-dependent lookup, so in CRect's namespace.
static void PrintTo(const CRect& rect, std::ostream* out) {
    *out << '(' << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ')';
}

namespace {

// One extent of the box is taken and the other scaled; a size out of range leaves the outputs.
TEST(FitRect, ScalesToTheBoxOrLeavesTheOutputs) {
    struct Case { bool inside; long sourceWidth, sourceHeight, boxWidth, boxHeight, width, height; } cases[] = {
        {true, 1920, 1080, 640, 480, 640, 360},
        {true, 4, 3, 1920, 1080, 1440, 1080},
        {true, 16, 9, 1920, 1080, 1920, 1080},  // equal ratios
        {true, 3, 2, 100, 100, 100, 66},        // rounded toward zero
        {true, 100000, 50000, 60000, 60000, 60000, 30000},  // product beyond 32 bits
        {false, 1920, 1080, 640, 480, 853, 480},
        {false, 4, 3, 1920, 1080, 1920, 1440},
        {false, 16, 9, 1920, 1080, 1920, 1080},
        {false, 2000000000, 1, 1000, 1000, 2147483647, 1000},  // held at the largest extent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        long width = -1, height = -1;
        (c.inside ? &CUtility::GetFitRect : &CUtility::GetFitRectOutside)(
            c.sourceWidth, c.sourceHeight, c.boxWidth, c.boxHeight, width, height);
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.width, c.height));
    }
    std::vector<long> bad = {0, -1, LONG_MIN};
    if (sizeof(long) > 4) bad.push_back(LONG_MAX);  // beyond 32 bits
    for (auto* fit : {&CUtility::GetFitRect, &CUtility::GetFitRectOutside})
        for (int position = 0; position < 4; ++position)
            for (long value : bad) {
                SCOPED_TRACE(::testing::Message() << "size " << position << " = " << value);
                long sizes[4] = {1920, 1080, 640, 480};
                sizes[position] = value;
                long width = 7, height = 9;
                fit(sizes[0], sizes[1], sizes[2], sizes[3], width, height);
                EXPECT_EQ(std::make_pair(width, height), std::make_pair(7L, 9L));
            }
}

// An empty box or content leaves the result (and the box) as they were.
TEST(FitInsideAndArrangeCenter, CentresTheFittedContentOrLeavesTheResult) {
    const CRect untouched(1, 2, 3, 4);
    struct Case { const char* what; CRect box; CSize content; CRect expected; } cases[] = {
        {"wider content", CRect(0, 0, 640, 480), CSize(1920, 1080), CRect(0, 60, 640, 420)},
        {"taller content", CRect(10, 20, 1930, 1100), CSize(4, 3), CRect(250, 20, 1690, 1100)},
        {"half rounded toward zero", CRect(0, 0, 101, 50), CSize(1, 1), CRect(25, 0, 75, 50)},
        {"equal ratios", CRect(0, 0, 100, 50), CSize(2, 1), CRect(0, 0, 100, 50)},
        {"box wider than 32 bits count", CRect(-2000000000, 0, 2000000000, 10), CSize(1, 1), CRect(-5, 0, 5, 10)},
        {"empty box", CRect(10, 10, 10, 50), CSize(4, 3), untouched},
        {"box without height", CRect(0, 5, 640, 5), CSize(4, 3), untouched},
        {"swapped edges", CRect(640, 0, 0, 480), CSize(4, 3), untouched},
        {"content without width", CRect(0, 0, 640, 480), CSize(0, 3), untouched},
        {"negative content", CRect(0, 0, 640, 480), CSize(4, -3), untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRect result = untouched;
        CRect box = c.box;
        CUtility::FitInsideAndArrangeCenter(&box, c.content, &result);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(box, c.box);
        CUtility::FitInsideAndArrangeCenter(&box, c.content, &box);  // the result may be the box
        EXPECT_EQ(box, c.expected == untouched ? c.box : c.expected);
    }
    CRect box(0, 0, 640, 480);
    CRect result = untouched;
    CUtility::FitInsideAndArrangeCenter(nullptr, CSize(4, 3), &result);
    CUtility::FitInsideAndArrangeCenter(&box, CSize(4, 3), nullptr);
    EXPECT_EQ(result, untouched);
    EXPECT_EQ(box, CRect(0, 0, 640, 480));
}

// The version answers agree with each other and with the version call; the word-size answer is
// about this process.
TEST(Platform, VersionAndWordSizeAnswers) {
    CUtility::tagPlatformTypeEnum family = CUtility::ePlatformOther;
    unsigned long major = 0, minor = 99;
    ASSERT_NE(CUtility::GetPlatformInfo(&family, &major, &minor), 0);
    EXPECT_EQ(family, CUtility::ePlatformNT);
    EXPECT_GE(major, 6u);
#if !defined(_WIN32)
    EXPECT_EQ(major, 10u);  // the version that the POSIX layer reports
    EXPECT_EQ(minor, 0u);
#endif
    EXPECT_EQ(CUtility::IsPlatformXpOrLater(), 1);
    EXPECT_EQ(CUtility::IsPlatformVistaOrLater(), 1);
    EXPECT_NE(CUtility::GetPlatformInfo(nullptr, nullptr, nullptr), 0);

    // The version call takes either record by its size field, and nothing else.
    for (DWORD size : {0u, 275u, 276u, 280u, 284u, 285u}) {
        SCOPED_TRACE(size);
        OSVERSIONINFOEXW info = {};
        info.dwOSVersionInfoSize = size;
        const bool accepted = size == sizeof(OSVERSIONINFOW) || size == sizeof(OSVERSIONINFOEXW);
        EXPECT_EQ(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE, accepted);
        EXPECT_EQ(info.dwMajorVersion, accepted ? major : 0u);
    }

    int answer = 7;
    EXPECT_EQ(CUtility::IsSystem64bit(answer), 1);
    if (sizeof(void*) == 8) EXPECT_EQ(answer, 0);  // a 64-bit process is never one emulated
    else EXPECT_NE(answer, 7);

    // The run-time look-up behind it takes the module's name in any case, with or without ".dll";
    // the positive look-up of "kernel32" itself is the call above.
    const HMODULE module = GetModuleHandleW(L"KERNEL32.DLL");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchFunction"), nullptr);
    for (const wchar_t* name : {L"kernel3", L"kernel32.dl", L"no-such-module"})
        EXPECT_EQ(GetModuleHandleW(name), nullptr) << CString(name).ToUtf8();
}

// The calling thread's execution state, unchanged: a request without ES_CONTINUOUS only resets
// the idle timers once.
DWORD CurrentExecutionState() { return SetThreadExecutionState(ES_SYSTEM_REQUIRED); }

BOOL ScreenSaverActive() {
    BOOL active = -1;
    EXPECT_NE(SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0), FALSE);
    return active;
}

TEST(PowerManagement, DisableKeepsAwakeAndRestorePutsTheStateBack) {
    const DWORD before = ES_CONTINUOUS | ES_AWAYMODE_REQUIRED;
    SetThreadExecutionState(before);
    CUtility utility;
    utility.DisablePowerManagement();
    EXPECT_EQ(CurrentExecutionState(), ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(ScreenSaverActive(), FALSE);

    CUtility copy(utility);  // the saved state goes with the copy
    copy.RestorePowerManagement();
    EXPECT_EQ(CurrentExecutionState(), before);
    EXPECT_EQ(ScreenSaverActive(), TRUE);

    // Never disabled: the restore ends every requirement of the thread.
    CUtility fresh;
    fresh.RestorePowerManagement();
    EXPECT_EQ(CurrentExecutionState(), ES_CONTINUOUS);
}

// The test keeps no state between calls: threads asking at once all get the answer of a lone call,
// and under ThreadSanitizer no two of them touch the same memory.
TEST(CheckIP, ThreadsAskingAtOnceGetTheSameAnswer) {
    const int alone = CUtility::CheckIP();
    EXPECT_TRUE(alone == 0 || alone == 1) << alone;
    constexpr int kThreads = 8;
    constexpr int kCalls = 20;
    std::atomic<int> differing{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int call = 0; call < kCalls; ++call)
                if (CUtility::CheckIP() != alone) ++differing;
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(differing.load(), 0);
    // Every start was matched by a cleanup. Wine counts starts and cleanups without a lock, so
    // threads doing both at once can leave its count off by one; Windows keeps it exact.
    if (!cu::test::RunningUnderWine()) EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

// The owner enters again and others wait until it has left as often; updates under the lock
// from several threads are never lost.
TEST(CriticalSection, OwnerEntersAgainOthersWaitAndUpdatesAreExcluded) {
    CCommonCriticalSection lock;
    std::atomic<bool> entered{false};
    lock.Lock();
    lock.Lock();
    std::thread other([&] {
        lock.Lock();
        entered = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    lock.Unlock();  // one entry is still held
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    lock.Unlock();
    other.join();
    EXPECT_TRUE(entered);

    long counter = 0;  // deliberately not atomic
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                lock.Lock();
                lock.Lock();
                ++counter;
                lock.Unlock();
                lock.Unlock();
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000);
}

}  // namespace

// The id stays with its thread, threads alive at once have different ids, and (where processes
// fork) a forked child's thread has an id of its own although the parent's was asked before.
TEST(ThreadId, OnePerLiveThread) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_NE(0u, mine);
    EXPECT_EQ(mine, GetCurrentThreadId());
    DWORD other = 0;
    std::thread([&other] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(0u, other);
    EXPECT_NE(mine, other);
#ifndef _WIN32
    int pipeEnds[2];
    ASSERT_EQ(0, pipe(pipeEnds));
    const pid_t child = cu::test::Spawn([&] {
        const DWORD childId = GetCurrentThreadId();
        return write(pipeEnds[1], &childId, sizeof childId) == sizeof childId ? 0 : 1;
    });
    DWORD childId = 0;
    ASSERT_EQ(static_cast<ssize_t>(sizeof childId), read(pipeEnds[0], &childId, sizeof childId));
    EXPECT_EQ(cu::test::ExitStatus(child), 0);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(static_cast<DWORD>(child), childId);
#endif
}
