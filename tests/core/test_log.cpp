#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"

TEST(Log, StampTabsAndLineEnds) {
    StartFreshLog();
    IncreaseLogIndent();
    EXPECT_EQ(WriteLog("A\nB"), -1);
    EXPECT_EQ(WriteLog("C\n"), -1);  // continues the open line: no stamp
    DecreaseLogIndent();
    DecreaseLogIndent();  // stays at 0
    EXPECT_EQ(WriteLog("D\n"), -1);
    EXPECT_EQ(WriteLogFormat("x=%d", 5), -1);
    std::string log = ReadLog();
    EXPECT_TRUE(std::regex_match(log, std::regex("[0-9]+:\tA\r\nBC\r\n[0-9]+:D\r\n[0-9]+:x=5\r\n")))
        << log;
}

TEST(Log, ExistingCrLfStopsConversion) {
    StartFreshLog();
    WriteLog("a\r\nb\nc\n");
    std::string log = ReadLog();
    EXPECT_NE(log.find("a\r\nb\nc\n"), std::string::npos) << log;
}

TEST(Log, ShiftJisTrailByteIsNotALineFeed) {
    StartFreshLog();
    // 0x81 0x0A is not valid text, but a scanner must step over the pair; then a real feed.
    const char text[] = {'x', static_cast<char>(0x81), 0x0A, 'y', '\n', 0};
    WriteLog(text);
    std::string log = ReadLog();
    const std::string expected = {'x', static_cast<char>(0x81), 0x0A, 'y', '\r', '\n'};
    EXPECT_NE(log.find(expected), std::string::npos);
    // A lone lead byte before the terminator is a byte of its own.
    StartFreshLog();
    const char lone[] = {'z', static_cast<char>(0x82), 0};
    WriteLog(lone);
    EXPECT_NE(ReadLog().find(lone), std::string::npos);
}

TEST(Log, LongMessagesAreWrittenWhole) {
    StartFreshLog();
    std::string message(300, 'm');
    message[150] = '\n';
    WriteLog(message.c_str());
    std::string expected = message.substr(0, 150) + "\r\n" + message.substr(151);
    EXPECT_NE(ReadLog().find(expected), std::string::npos);
    std::string huge(5000, 'h');
    WriteLogFormat("%s", huge.c_str());  // truncated to the format buffer, never overflowed
    std::string log = ReadLog();
    EXPECT_NE(log.find(std::string(1000, 'h') + "\r\n"), std::string::npos);
    EXPECT_EQ(log.find(std::string(1100, 'h')), std::string::npos);
}

TEST(Log, ConcurrentWritersKeepLinesWhole) {
    StartFreshLog();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) WriteLogFormat("thread%d line%d", t, i);
        });
    for (auto& thread : threads) thread.join();
    std::string log = ReadLog();
    std::regex line("[0-9]+:thread[0-3] line[0-9]+\r\n");
    size_t count = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
        ++count;
    EXPECT_EQ(count, 200u);
}

TEST(Log, JapaneseTextIsCodePage932) {
    StartFreshLog();
    WriteLog("完了\n");
    // 完 is 0x8A 0xAE and 了 is 0x97 0xB9 in code page 932.
    EXPECT_NE(ReadLog().find("\x8A\xAE\x97\xB9\r\n"), std::string::npos);
}
