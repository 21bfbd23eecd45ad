// The process log: its switch, its file, its record layout, and many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "commonutility/DateTime.h"
#include "commonutility/FileOperation.h"
#include "commonutility/Logger.h"
#include "log/LoggerAccess.h"
#include "platform/Scoped.h"
#include "platform/win32.h"
#include "support/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

const wchar_t kFlagKey[] = L"Software\\Tavolan Corporation\\Reelkeep\\1.0\\Uploader";

// A temporary folder that is the process's temporary folder and (on POSIX) holds its registry.
class LogSandbox {
public:
    LogSandbox()
#if !defined(_WIN32)
        : m_tmp("TMPDIR", m_dir.Path().ToUtf8().c_str()),
          m_registry("COMMONUTILITY_REGISTRY_DIR", m_dir.Path().ToUtf8().c_str())
#endif
    {
#if defined(_WIN32)
        m_oldTmp.resize(GetEnvironmentVariableW(L"TMP", nullptr, 0));
        GetEnvironmentVariableW(L"TMP", &m_oldTmp[0], static_cast<DWORD>(m_oldTmp.size()));
        SetEnvironmentVariableW(L"TMP", m_dir.Path());
#endif
    }
    ~LogSandbox() {
        cu::detail::LoggerAccess::Destroy();
#if defined(_WIN32)  // elsewhere the registry goes with the folder
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kFlagKey, L"LogFlag");
        SetEnvironmentVariableW(L"TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
#endif
    }

    // Sets "LogFlag"; a negative value leaves it missing.
    void SetFlag(long long value) {
        if (value >= 0) cu::test::WriteDword(HKEY_CURRENT_USER, kFlagKey, L"LogFlag", static_cast<DWORD>(value));
    }

    // Today's file, named from the date another way than the logger names it.
    CString LogPath() const {
        const CString name = L"ReelkeepUploaderLog(" + CCommonDateTime::GetNow().GetLocalizedDateString() + L").txt";
        return m_dir.Path(name.GetString());
    }
    std::string Log() const { return cu::test::ReadBytes(LogPath()); }
    const cu::test::TempDir& dir() const { return m_dir; }

private:
    cu::test::TempDir m_dir;
#if defined(_WIN32)
    std::wstring m_oldTmp;
#else
    cu::test::ScopedEnv m_tmp;
    cu::test::ScopedEnv m_registry;
#endif
};

// The records between the banners of a log made with flags, after one narrow and one wide write.
std::string Records(long long flags) {
    LogSandbox sandbox;
    sandbox.SetFlag(flags);
    CLogger& log = CLogger::Instance();
    log.WriteLog("C:\\src\\/odd/LoggerTest.cpp", 42, "Suite::Case", "n=%d %s", 7, "narrow");
    log.WriteLog(nullptr, 0, nullptr, L"%s|%S", L"wide", "mixed");
    cu::detail::LoggerAccess::Destroy();
    if (!cu::test::Exists(sandbox.LogPath())) return "<no file>";
    const std::string text = sandbox.Log();
    const std::size_t first = text.find("\r\n"), last = text.rfind("######################### LOG END");
    if (first == std::string::npos || last == std::string::npos) return "<no log>";
    return text.substr(first + 2, last - first - 2);
}

TEST(Logger, RecordLayoutByFlags) {
    const struct { long long flags; const char* pattern; } cases[] = {
        // The flag missing, 0 or without an output bit: the log is off and makes no file.
        {-1, "<no file>"}, {0, "<no file>"}, {0x80, "<no file>"},
        {0x01, "n=7 narrow\r\nwide\\|mixed\r\n"},
        {0x20, "\\[/odd/LoggerTest.cpp\\(42\\)\\] : n=7 narrow\r\n\\[\\(0\\)\\] : wide\\|mixed\r\n"},
        {0x10, "\\[/odd/LoggerTest.cpp\\] : n=7 narrow\r\n\\[\\] : wide\\|mixed\r\n"},
        {0x06, "\\[\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] : n=7 narrow\r\n[\\s\\S]*"},
        {0x02, "\\[\\d{4}/\\d\\d/\\d\\d\\] : n=7 narrow\r\n[\\s\\S]*"},
        {0x04, "\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] : n=7 narrow\r\n[\\s\\S]*"},
        {0x48, "\\[Suite::Case\\]\\[TID=\\d+\\] : n=7 narrow\r\n\\[\\]\\[TID=\\d+\\] : wide\\|mixed\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_TRUE(std::regex_match(Records(c.flags), std::regex(c.pattern))) << Records(c.flags);
    }
}

TEST(Logger, BannersAppendAndLongRecordsAreCut) {
    LogSandbox sandbox;
    cu::test::WriteBytes(sandbox.LogPath(), "earlier\r\n");
    sandbox.SetFlag(1);
    const std::string longText(2000, 'x');
    CLogger::Instance().WriteLog("f", 1, "g", "%s", longText.c_str());
    CLogger::Instance().WriteLog("f", 1, "g", "next");
    cu::detail::LoggerAccess::Destroy();
    const std::string log = sandbox.Log();
    EXPECT_TRUE(std::regex_search(log, std::regex("^earlier\r\n#{25} LOG BEGIN \\[\\d{4}-\\d\\d-\\d\\d "
                                                  "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] #{25}\r\n")));
    // A record of 1023 bytes has no room for its line end: the next one follows on its line.
    EXPECT_NE(log.find("\r\n" + std::string(1023, 'x') + "next\r\n"), std::string::npos);
    EXPECT_NE(log.find("#########################\r\n", log.find("LOG END")), std::string::npos);
}

// While one logger holds the day's file, another (in this process or another) cannot open it; an
// output folder must be an existing folder given with its delimiter, within 260 characters.
TEST(Logger, SecondOpenersAndBadOutputFoldersAreRefused) {
    LogSandbox sandbox;
    sandbox.SetFlag(1);
    CLogger& log = CLogger::Instance();
    EXPECT_FALSE(cu::platform::ScopedFile(CreateFileW(sandbox.LogPath(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)).IsValid());

    cu::test::WriteBytes(sandbox.dir().Path(L"file"), "x");
    EXPECT_EQ(log.SetLogOutputFolder(nullptr), E_INVALIDARG);
    EXPECT_EQ(log.SetLogOutputFolder(CString(L'a', 261)), E_INVALIDARG);
    EXPECT_EQ(log.SetLogOutputFolder(sandbox.dir().Path(L"file")), E_INVALIDARG);
    EXPECT_EQ(log.SetLogOutputFolder(L"."), E_INVALIDARG);  // an existing folder, but no delimiter
    EXPECT_EQ(log.SetLogOutputFolder(sandbox.dir().Path()), S_OK);
}

// The library's own failures reach the log with its source name, the function and the error code.
TEST(Logger, LibraryFailuresAreLogged) {
    LogSandbox sandbox;
    sandbox.SetFlag(0x70);
    CString folder = sandbox.dir().Path(L"tree");
    CreateDirectoryW(folder, nullptr);
    cu::test::WriteBytes(sandbox.dir().Path(L"tree") + cu::platform::kPathDelimiter + L"locked", "x");
    cu::test::SetReadOnly(sandbox.dir().Path(L"tree") + cu::platform::kPathDelimiter + L"locked");
    EXPECT_EQ(CFileOperation::RemoveFolder(folder), 0);
    cu::detail::LoggerAccess::Destroy();
    EXPECT_TRUE(std::regex_search(sandbox.Log(), std::regex("\\[CommonUtility\\(\\d+\\)\\]\\[CFileOperation::"
                                                            "RemoveFolder\\] : CFileOperation::RemoveFolder Err:145\r\n")))
        << sandbox.Log();
}

// Many threads: one instance, one LOG BEGIN line, and every record whole on a line of its own.
TEST(Logger, ManyThreadsWriteWholeRecords) {
    LogSandbox sandbox;
    sandbox.SetFlag(0x0F);
    constexpr int kThreads = 8, kRecords = 200;
    std::atomic<CLogger*> seen[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &seen] {
            seen[t] = &CLogger::Instance();
            for (int r = 0; r < kRecords; ++r)
                CLogger::Instance().WriteLog("f.cpp", r, "g", L"thread %d record %d %s", t, r, L"payload");
        });
    for (std::thread& thread : threads) thread.join();
    for (const auto& instance : seen) EXPECT_EQ(instance.load(), seen[0].load());
    cu::detail::LoggerAccess::Destroy();

    const std::string log = sandbox.Log();
    std::set<std::string> records;
    const std::regex line("\\[[^\\]]+\\]\\[TID=\\d+\\] : thread (\\d+) record (\\d+) payload");
    std::size_t begins = 0;
    for (std::size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string text = log.substr(start, end - start);
        std::smatch match;
        if (text.find("LOG BEGIN") != std::string::npos) ++begins;
        else if (std::regex_match(text, match, line)) records.insert(match[1].str() + "/" + match[2].str());
        else if (text.find("LOG END") == std::string::npos) ADD_FAILURE() << "broken line: " << text;
    }
    EXPECT_EQ(begins, 1u);
    EXPECT_EQ(records.size(), static_cast<std::size_t>(kThreads * kRecords));
}

}  // namespace
