// Folder listings of the file-name adapter: the names a folder holds, by their case-folded
// form, and the listings kept while the system reports no change to the folders.
#pragma once

#include <time.h>

#include <map>
#include <string>
#include <unordered_set>

struct FolderListing {
    timespec modified{};
    std::unordered_set<std::string> names;
    std::map<std::u32string, std::string> folded;  // folded name -> smallest name folding to it
};

// Reads a folder's names (UTF-8 path; empty for the current folder). False when it cannot be
// listed.
bool ReadFolderListing(const std::string& folder, FolderListing& listing);
// 1 when the listing holds the name as written, 2 when only in another case (found gets that
// name), 0 when not at all.
int AnswerFromListing(const FolderListing& listing, const std::string& name, std::string& found);

// Looks a name up in a folder through a listing kept under a change watch on the folder and on
// every folder above it, so that an answer needs no look at the file system (a relative folder
// lies below the current one). False when the folder cannot be watched so (the caller then
// looks itself); else result is as above.
bool LookUpInWatchedFolder(const std::string& folder, const std::string& name, std::string& found,
                           int& result);
