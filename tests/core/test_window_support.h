// Shared helpers of the window and library tests: a scratch folder per test (the second-copy
// check is keyed by the working folder, and the library writes Log.txt there) and log reading.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>


class ScratchFolder {
public:
    ScratchFolder() {
        char base[4096];
        if (getcwd(base, sizeof(base)) != nullptr) previous_ = base;
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        path_ = previous_ + "/scratch-" + info->test_suite_name() + "-" + info->name() + "-" +
                std::to_string(getpid());
        std::filesystem::create_directories(path_);
        EXPECT_EQ(chdir(path_.c_str()), 0);
    }
    ~ScratchFolder() {
        if (chdir(previous_.c_str()) != 0) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string previous_;
    std::string path_;
};

// The log's lines as written (code page 932, as the tests' own literals are compiled).
inline std::vector<std::string> ReadLogLines(const std::string& file = "Log.txt") {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::vector<std::string> lines;
    std::string raw = bytes.str(), line;
    std::istringstream stream(raw);
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Index of the first line at or after `from` that contains the text, -1 for none.
inline int FindLogLine(const std::vector<std::string>& lines, const std::string& text,
                       int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i].find(text) != std::string::npos) return i;
    return -1;
}

// The last line that holds more than its time stamp.
inline std::string LastContentLine(const std::vector<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        size_t colon = it->find(':');
        if (colon != std::string::npos && colon + 1 < it->size()) return *it;
    }
    return "";
}
