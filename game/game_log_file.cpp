// Writing the run log: the counter file "Setting.txt" and the numbered log file.
#include "game_log.h"

#include "velk.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kCounterFileName = "Setting.txt";
constexpr const char* kLogFolderName = "Log";

std::string JoinPath(const char* folder, const std::string& name) {
    std::string path = folder != nullptr ? folder : "";
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + name;
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads the whole counter file (it holds one number; a bounded read is plenty).
std::string ReadCounterFile(const std::string& path, bool* opened) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    *opened = file != nullptr;
    if (file == nullptr) {
        return text;
    }
    char buffer[256];
    size_t count;
    while (text.size() < 4096 && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, count);
    }
    std::fclose(file);
    return text;
}

// The number after a log number, wrapping past the top.
int NextNumber(int number) {
    return static_cast<int>(static_cast<uint32_t>(number) + 1u);
}

// Log numbers tried before a save gives up on finding a free one.
constexpr int kMaxNumberTries = 100000;

// Writes the counter to a file beside it and renames that into place.
bool WriteCounter(const std::string& path, int number) {
    const std::string temporary = path + ".new";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fprintf(file, "%d", number) > 0;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

int NextLogNumber(const char* counterText) {
    const char* p = counterText;
    while (IsSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulate as a magnitude with a ceiling, so no digit count can overflow.
    int64_t magnitude = 0;
    while (*p >= '0' && *p <= '9') {
        if (magnitude <= static_cast<int64_t>(INT_MAX) + 1) {
            magnitude = magnitude * 10 + (*p - '0');
        }
        ++p;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    // The counter wraps from the largest number to the smallest, as two's-complement addition does.
    return NextNumber(static_cast<int>(value));
}

int GameLog::Save(const char* baseFolder, int* written) const {
    if (written != nullptr) {
        *written = 0;
    }
    // 1. The number: 0 without a counter file, else the number it holds plus 1.
    const std::string counterPath = JoinPath(baseFolder, kCounterFileName);
    bool opened = false;
    const std::string counterText = ReadCounterFile(counterPath, &opened);
    int number = opened ? NextLogNumber(counterText.c_str()) : 0;

    // 2. The log file, in the folder "Log" (made when missing so the first run's log is kept).
    // It is created only where no file of that name exists: a counter that fell behind (damaged,
    // or a run killed at the wrong moment) moves on to the next free number instead.
    const std::string folder = JoinPath(baseFolder, kLogFolderName);
    std::error_code error;
    std::filesystem::create_directory(folder, error);
    std::string logPath;
    FILE* file = nullptr;
    for (int tries = 0; tries < kMaxNumberTries; ++tries, number = NextNumber(number)) {
        logPath = JoinPath(folder.c_str(), "LogData" + std::to_string(number) + ".txt");
        file = std::fopen(logPath.c_str(), "wbx");
        if (file != nullptr || errno != EEXIST) {
            break;
        }
    }

    // 3. The counter, rewritten whole without a line end through a file renamed into place, so
    // that it never stands empty or half written.
    if (!WriteCounter(counterPath, number)) {
        WriteLogFormat("プレイログの番号を %s に保存できませんでした", counterPath.c_str());
    }
    if (file == nullptr) {
        WriteLogFormat("プレイログ %s の保存に失敗しました", logPath.c_str());
        return number;
    }

    // 4. Every line followed by CR LF, flushed line by line. A log that could not be written
    // whole is removed, so that no empty or cut file stands for it.
    bool ok = true;
    for (const std::string& line : lines) {
        ok = std::fwrite(line.data(), 1, line.size(), file) == line.size() && ok;
        ok = std::fwrite("\r\n", 1, 2, file) == 2 && ok;
        ok = std::fflush(file) == 0 && ok;
    }
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(logPath.c_str());
        WriteLogFormat("プレイログ %s の保存に失敗しました", logPath.c_str());
    }
    if (written != nullptr) {
        *written = ok ? 1 : 0;
    }
    return number;
}
