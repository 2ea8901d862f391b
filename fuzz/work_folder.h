// The folder a file-reading fuzz target writes its inputs into: velk-fuzz-<name>-<pid> in the
// current folder (scripts/fuzz runs the targets in build-fuzz/run). Not under /tmp: every open
// looks names up in each folder of the path (an archive may stand in for any of them), and a
// folder as busy as /tmp is listed again on every look, which costs more than the input.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

inline std::string MakeWorkFolder(const char* name) {
    char current[PATH_MAX];
    std::string folder = getcwd(current, sizeof current) != nullptr ? current : ".";
    folder += "/velk-fuzz-" + std::string(name) + "-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    return folder;
}
