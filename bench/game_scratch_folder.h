// A scratch folder for the game benchmarks: it holds a link to the game's data and becomes the
// working folder (the library writes Log.txt and the run its log there); removed at exit.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct GameScratchFolder {
    std::string path;
    std::filesystem::path home;
    explicit GameScratchFolder(const char* prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return;
        path = pattern;
        std::error_code error;
        home = std::filesystem::current_path(error);
        std::filesystem::create_directory_symlink(VELK_GAME_DATA "/Data", path + "/Data", error);
        std::filesystem::current_path(path, error);
    }
    ~GameScratchFolder() {
        std::error_code error;
        if (path.empty()) return;
        std::filesystem::current_path(home, error);
        std::filesystem::remove_all(path, error);
    }
};
