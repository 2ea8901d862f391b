#include "game_log.h"

#include <cstdio>
#include <utility>

namespace {

GameLog* g_CurrentGameLog = nullptr;

}  // namespace

void GameLog::Append(std::string line) {
    lines.push_back(std::move(line));
}

const char* GameLog::GetLine(int index) const {
    if (index < 0 || index >= GetLineCount()) {
        return nullptr;
    }
    return lines[static_cast<size_t>(index)].c_str();
}

void GameLog::Clear() {
    lines.clear();
    lines.shrink_to_fit();
}

std::string FormatLogLine(int seconds, const char* text) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return std::string(stamp) + text;
}

void AddLog(int seconds, GameLog* log, const char* text) {
    if (log == nullptr || text == nullptr || text[0] == '\0') {
        return;
    }
    log->Append(FormatLogLine(seconds, text));
}

GameLog* GetCurrentGameLog() {
    return g_CurrentGameLog;
}

GameLog* ReplaceCurrentGameLog() {
    ReleaseCurrentGameLog();
    g_CurrentGameLog = new GameLog();
    return g_CurrentGameLog;
}

void ReleaseCurrentGameLog() {
    if (g_CurrentGameLog != nullptr) {
        g_CurrentGameLog->Clear();
        delete g_CurrentGameLog;
        g_CurrentGameLog = nullptr;
    }
}
