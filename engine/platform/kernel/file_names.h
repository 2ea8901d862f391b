// The file-name adapter between the library's code-page-932 names and Linux paths.
//   - '\' and '/' both separate; a drive prefix ("C:") has no meaning here and is dropped,
//     so "C:\tmp\a" names "/tmp/a" and "C:a" names "a" in the current folder;
//   - a leading separator starts an absolute Linux path, anything else is relative to the
//     current folder;
//   - the name is converted from code page 932 to UTF-8;
//   - a path that does not exist as written is looked up again component by component
//     without regard to case (ASCII, full-width Latin, Greek and Cyrillic letters), so data
//     laid out on a case-insensitive file system is found. Components that still do not
//     exist are kept as written (a file about to be created keeps the case it was given);
//   - an open that creates, truncates or writes takes the folders that way but the file's own
//     name only as written, so that a file whose name differs only in case (a user's
//     "log.txt" beside "Log.txt") is never touched; the same holds for a new temporary name.
#pragma once

#include <string>

// The Linux path for a library file name. False when the name is null, empty or not valid
// code page 932 (last error V_ERROR_INVALID_NAME); true otherwise, whether or not it exists.
bool V_ResolveFileName(const char* name, std::string& linuxPath);
// The same; *missing tells that the name's folder exists and holds no such name in any case.
bool V_ResolveFileName(const char* name, std::string& linuxPath, bool* missing);

// The same with the last component kept as written: only the folders are looked up without
// regard to case.
bool V_ResolveFileNameExactName(const char* name, std::string& linuxPath);

// The first steps of V_ResolveFileName alone: conversion, drive and separators.
bool NormalizeFileName(const char* name, std::string& path);
// The case-insensitive lookup of V_ResolveFileName on an already normalised UTF-8 path.
std::string ResolveNormalizedPath(const std::string& path, bool* missing = nullptr);

// Whole-string conversions between code page 932 and UTF-8; false on invalid input.
bool Cp932ToUtf8String(const char* in, std::string& out);
bool Utf8ToCp932String(const char* in, std::string& out);

// Compares two UTF-8 names without regard to case.
bool FileNamesEqualFolded(const char* a, const char* b);
// Matches a UTF-8 name against a pattern with '*' (any run) and '?' (one character),
// without regard to case; "*.*" matches every name, as the platform's searches do.
bool MatchFileNamePattern(const char* pattern, const char* name);
