// Folder listings of the file-name adapter: the names a folder holds, by their case-folded
// form, and the listings kept while the system reports every change to the folders.
#pragma once

#include <time.h>

#include <set>
#include <string>
#include <unordered_map>

struct FolderListing {
    timespec modified{};
    std::unordered_map<std::u32string, std::set<std::string>> folded;  // folded -> the names
};

// Reads a folder's names (UTF-8 path; empty for the current folder). False when it cannot be
// listed.
bool ReadFolderListing(const std::string& folder, FolderListing& listing);
// A name made in or moved into the folder, and one removed or moved out.
void AddToListing(FolderListing& listing, const std::string& name);
void RemoveFromListing(FolderListing& listing, const std::string& name);
// 2 when the listing holds a name other than `name` that equals it without regard to case
// (found gets the smallest such name), 0 when not.
int FindOtherCase(const FolderListing& listing, const std::string& name, std::string& found);
// 1 when the listing holds the name as written, else as FindOtherCase.
int AnswerFromListing(const FolderListing& listing, const std::string& name, std::string& found);

// Looks a name up in a folder through a listing kept under a change watch on the folder and on
// every folder above it, valid while the system reports every change to them, so that an answer
// needs no look at the file system (a relative folder lies below the current one). False when
// the folder cannot be kept so (the caller then asks the system); else result is as
// AnswerFromListing's.
bool LookUpInWatchedFolder(const std::string& folder, const std::string& name, std::string& found,
                           int& result);
// The whole lookup of a normalised path (as ResolveNormalizedPath's) answered from kept listings
// alone, from "/" or the current folder down. False when a folder on the way cannot be kept so,
// or the path holds "." or "..": the caller then looks itself.
bool ResolveInWatchedFolders(const std::string& path, std::string& resolved, bool& missing);
