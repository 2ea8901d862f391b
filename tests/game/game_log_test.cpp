#include <sys/resource.h>

#include <climits>
#include <csignal>

#include "core/log_capture.h"
#include "sim_test_support.h"

using sim_test::SimTest;

TEST(GameLogLine, StampsHoursMinutesAndSecondsWithoutWrappingHours) {
    EXPECT_EQ(FormatLogLine(0, "msg"), "00:00:00 msg");
    EXPECT_EQ(FormatLogLine(3725, "msg"), "01:02:05 msg");
    EXPECT_EQ(FormatLogLine(359999, "msg"), "99:59:59 msg");
    EXPECT_EQ(FormatLogLine(360000, "msg"), "100:00:00 msg");
}

TEST(GameLogLine, EmptyTextAppendsNothing) {
    GameLog log;
    AddLog(5, &log, "");
    AddLog(5, &log, nullptr);
    AddLog(5, nullptr, "lost");
    EXPECT_EQ(log.GetLineCount(), 0);
    AddLog(5, &log, "a");
    AddLog(6, &log, "b");
    ASSERT_EQ(log.GetLineCount(), 2);
    EXPECT_STREQ(log.GetLine(0), "00:00:05 a");
    EXPECT_STREQ(log.GetLine(1), "00:00:06 b");
    EXPECT_EQ(log.GetLine(2), nullptr);
    EXPECT_EQ(log.GetLine(-1), nullptr);
}

TEST(GameLogCounter, ParsesTheLeadingNumberWithoutOverflow) {
    EXPECT_EQ(NextLogNumber(""), 1);
    EXPECT_EQ(NextLogNumber("abc"), 1);
    EXPECT_EQ(NextLogNumber("-5"), -4);
    EXPECT_EQ(NextLogNumber("  41\r\n"), 42);
    EXPECT_EQ(NextLogNumber("+7x"), 8);
    EXPECT_EQ(NextLogNumber("2147483646"), INT_MAX);
    // Past the top the counter wraps to the bottom; out-of-range text is clamped first.
    EXPECT_EQ(NextLogNumber("2147483647"), INT_MIN);
    EXPECT_EQ(NextLogNumber("99999999999999999999999"), INT_MIN);
    EXPECT_EQ(NextLogNumber("-99999999999999999999999"), INT_MIN + 1);
}

TEST_F(SimTest, SaveWritesExactBytesWithCrLfAndCodePage932) {
    GameLog log;
    AddLog(0, &log, "a");
    AddLog(3725, &log, "終了しました。");
    int written = 0;
    EXPECT_EQ(log.Save(folder.c_str(), &written), 0);
    EXPECT_EQ(written, 1);
    const std::string end =
        std::string("\x8F\x49\x97\xB9\x82\xB5\x82\xDC\x82\xB5") + "\x82\xBD\x81\x42";
    EXPECT_EQ(ReadFile("Log/LogData0.txt"), "00:00:00 a\r\n01:02:05 " + end + "\r\n");
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
}

TEST_F(SimTest, CounterRunsFromZeroWithoutASettingFile) {
    GameLog log;
    AddLog(0, &log, "x");
    EXPECT_FALSE(FileExists("Log"));  // the folder is made on the first save
    for (int expected = 0; expected < 3; ++expected) {
        EXPECT_EQ(log.Save(folder.c_str()), expected);
        EXPECT_EQ(ReadFile("Setting.txt"), std::to_string(expected));
        EXPECT_EQ(ReadFile("Log/LogData" + std::to_string(expected) + ".txt"), "00:00:00 x\r\n");
    }
}

TEST_F(SimTest, CounterFromUnreadableOrNegativeSettingFile) {
    GameLog log;
    WriteFile("Setting.txt", "abc");
    EXPECT_EQ(log.Save(folder.c_str()), 1);
    EXPECT_EQ(log.Save(folder.c_str()), 2);
    EXPECT_TRUE(FileExists("Log/LogData1.txt"));
    EXPECT_TRUE(FileExists("Log/LogData2.txt"));

    WriteFile("Setting.txt", "-5");
    EXPECT_EQ(log.Save(folder.c_str()), -4);
    EXPECT_EQ(ReadFile("Setting.txt"), "-4");
    EXPECT_TRUE(FileExists("Log/LogData-4.txt"));
    EXPECT_EQ(ReadFile("Log/LogData-4.txt"), "");  // an empty log gives an empty file
}

TEST_F(SimTest, LogFileThatCannotBeWrittenIsReportedAndCounterStillAdvances) {
    StartFreshLog();
    // A plain file where the folder should be: the log cannot be written.
    WriteFile("Log", "not a folder");
    GameLog log;
    AddLog(0, &log, "x");
    int written = 1;
    EXPECT_EQ(log.Save(folder.c_str(), &written), 0);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
    EXPECT_EQ(ReadFile("Log"), "not a folder");
    const std::string report = ReadLog();
    EXPECT_NE(report.find("プレイログ " + folder + "/Log/LogData0.txt の保存に失敗しました"),
              std::string::npos)
        << report;
}

// Counter files a kill or a hand left damaged, beside the logs of three earlier runs: every
// earlier log stays as it was and the new one takes the next free number.
TEST_F(SimTest, DamagedCounterFilesNeverCostAnEarlierLog) {
    for (const char* counter : {"abc", "", "-1", "0", "1"}) {
        std::filesystem::remove_all(folder + "/Log");
        std::filesystem::create_directory(folder + "/Log");
        for (int n = 0; n < 3; ++n)
            WriteFile("Log/LogData" + std::to_string(n) + ".txt", "run " + std::to_string(n));
        WriteFile("Setting.txt", counter);
        GameLog log;
        AddLog(7, &log, "new");
        int written = 0;
        EXPECT_EQ(log.Save(folder.c_str(), &written), 3) << '"' << counter << '"';
        EXPECT_EQ(written, 1);
        for (int n = 0; n < 3; ++n)
            EXPECT_EQ(ReadFile("Log/LogData" + std::to_string(n) + ".txt"), "run " + std::to_string(n));
        EXPECT_EQ(ReadFile("Log/LogData3.txt"), "00:00:07 new\r\n");
        EXPECT_EQ(ReadFile("Setting.txt"), "3");
        EXPECT_FALSE(FileExists("Setting.txt.new"));
    }
}

// A disk that fills while the log is written: no cut file stays behind, the failure is logged.
TEST_F(SimTest, ALogThatCannotBeWrittenWholeLeavesNoFile) {
    StartFreshLog();
    GameLog log;
    const std::string text(3000, 'z');
    AddLog(0, &log, text.c_str());
    AddLog(1, &log, text.c_str());
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int written = 1;
    const int number = log.Save(folder.c_str(), &written);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(written, 0);
    EXPECT_FALSE(FileExists("Log/LogData0.txt"));
    EXPECT_EQ(ReadFile("Setting.txt"), "0");
    EXPECT_NE(ReadLog().find("LogData0.txt の保存に失敗しました"), std::string::npos);
}
