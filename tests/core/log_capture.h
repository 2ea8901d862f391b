// Test helper: points the log at a fresh folder of this test's own (test programs run in
// parallel in one working folder), recreates it, and reads it back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/core.h"
#include "core/log.h"

inline void StartFreshLog() {
    static std::filesystem::path home = std::filesystem::current_path();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder = home / ("log-" + std::string(test->test_suite_name()) + "-" +
                                           test->name() + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    SetLogFolder(folder.c_str());
    CreateLogFile();
}

inline std::string ReadLog() {
    std::ifstream in(std::filesystem::path(g_Log.folder) / "Log.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
