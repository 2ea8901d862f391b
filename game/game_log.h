// The run log: the time-stamped lines of one run, shown in the bottom panel and written to
// "Log/LogData" + number + ".txt" when the run ends.
#pragma once

#include <string>
#include <vector>

class GameLog {
public:
    // Appends one finished line.
    void Append(std::string line);

    // Lines counted from the oldest.
    int GetLineCount() const { return static_cast<int>(lines.size()); }
    const char* GetLine(int index) const;

    // Frees every line and the storage.
    void Clear();

    // Advances the counter in "Setting.txt" under baseFolder (empty: the working folder) and writes
    // the lines to "Log/LogData" + counter + ".txt" there, creating "Log" when it is missing. An
    // existing log file is never overwritten: the next free number is taken. Returns the number
    // used, or sets *written to 0 when the log file could not be written (logged, no file left).
    int Save(const char* baseFolder, int* written = nullptr) const;

private:
    std::vector<std::string> lines;
};

// Appends "HH:MM:SS text" made from the run clock in seconds; an empty text appends nothing.
void AddLog(int seconds, GameLog* log, const char* text);

// "HH:MM:SS text": hours are not wrapped and take as many digits as they need.
std::string FormatLogLine(int seconds, const char* text);

// The number the next save uses, read from the counter file's text: the decimal integer at its
// start (out-of-range values clamped, 0 when there is none) plus 1, wrapping past the top.
int NextLogNumber(const char* counterText);

// The process-wide log of the run in progress, or null outside a run.
GameLog* GetCurrentGameLog();
// Frees the current log unsaved and makes a new empty one current.
GameLog* ReplaceCurrentGameLog();
// Frees the current log; afterwards there is none.
void ReleaseCurrentGameLog();
