// Saving a run log never costs an earlier one: damaged counter files beside existing logs, a
// folder that cannot hold the log, and a disk that fills during the write.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "core/core.h"
#include "sim_test_support.h"

using sim_test::SimTest;

namespace {

class RunLogSafetyTest : public SimTest {
protected:
    void TearDown() override {
        SetLogFolder("");
        SimTest::TearDown();
    }
    // Two earlier runs' logs, as a previous session left them.
    void WriteEarlierLogs() {
        std::filesystem::create_directories(folder + "/Log");
        WriteFile("Log/LogData0.txt", "00:00:00 run zero\r\n");
        WriteFile("Log/LogData1.txt", "00:00:00 run one\r\n");
    }
    void ExpectEarlierLogsKept(const std::string& counter) {
        EXPECT_EQ(ReadFile("Log/LogData0.txt"), "00:00:00 run zero\r\n") << counter;
        EXPECT_EQ(ReadFile("Log/LogData1.txt"), "00:00:00 run one\r\n") << counter;
    }
    std::set<std::string> LogFolderNames() const {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder + "/Log", error))
            names.insert(entry.path().filename().string());
        return names;
    }
    // Points the library's log at the scratch folder and returns its current line count.
    int StartLibraryLog() {
        SetLogFolder(folder.c_str());
        CreateLogFile();
        return CountLogLines();
    }
    int CountLogLines() const {
        std::string text = ReadFile("Log.txt");
        int lines = 0;
        for (char c : text) lines += c == '\n';
        return lines;
    }
};

TEST_F(RunLogSafetyTest, DamagedCounterNeverOverwritesAnEarlierRunLog) {
    // Each counter text points at a number already taken: the next free one is 2.
    for (const char* counter : {"abc", "", "-1", "0"}) {
        std::error_code error;
        std::filesystem::remove_all(folder + "/Log", error);
        WriteEarlierLogs();
        WriteFile("Setting.txt", counter);
        GameLog log;
        AddLog(7, &log, "new run");
        int written = 0;
        int number = log.Save(folder.c_str(), &written);
        ExpectEarlierLogsKept(counter);
        EXPECT_EQ(written, 1) << counter;
        EXPECT_EQ(number, 2) << counter;
        EXPECT_EQ(ReadFile("Log/LogData2.txt"), "00:00:07 new run\r\n") << counter;
        EXPECT_EQ(ReadFile("Setting.txt"), "2") << counter;
        // The run after it goes on from there.
        EXPECT_EQ(log.Save(folder.c_str(), &written), 3) << counter;
        ExpectEarlierLogsKept(counter);
        EXPECT_EQ(ReadFile("Log/LogData2.txt"), "00:00:07 new run\r\n") << counter;
    }
}

TEST_F(RunLogSafetyTest, ACounterBehindTheLogsSkipsEveryTakenNumber) {
    WriteEarlierLogs();
    WriteFile("Log/LogData2.txt", "00:00:00 run two\r\n");
    WriteFile("Setting.txt", "0");
    GameLog log;
    AddLog(1, &log, "later");
    EXPECT_EQ(log.Save(folder.c_str()), 3);
    ExpectEarlierLogsKept("0");
    EXPECT_EQ(ReadFile("Log/LogData2.txt"), "00:00:00 run two\r\n");
    EXPECT_EQ(ReadFile("Log/LogData3.txt"), "00:00:01 later\r\n");
}

TEST_F(RunLogSafetyTest, ASaveThatCannotWriteTheLogSaysSoInTheLibraryLog) {
    // A plain file where the log folder belongs.
    WriteFile("Log", "not a folder");
    const int before = StartLibraryLog();
    GameLog log;
    AddLog(0, &log, "x");
    int written = 1;
    log.Save(folder.c_str(), &written);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile("Log"), "not a folder");
    EXPECT_EQ(CountLogLines(), before + 1) << ReadFile("Log.txt");
}

TEST_F(RunLogSafetyTest, ADiskThatFillsDuringTheWriteLeavesNoBrokenLogFile) {
    WriteEarlierLogs();
    WriteFile("Setting.txt", "1");
    // The save runs in a child whose files may not grow past 4 bytes: the counter fits, the
    // log line does not.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4, 4};
        setrlimit(RLIMIT_FSIZE, &limit);
        GameLog log;
        AddLog(0, &log, "a line longer than four bytes");
        int written = 1;
        log.Save(folder.c_str(), &written);
        _exit(written == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the save crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was reported as written";
    ExpectEarlierLogsKept("1");
    EXPECT_EQ(LogFolderNames(), (std::set<std::string>{"LogData0.txt", "LogData1.txt"}));
}

}  // namespace
