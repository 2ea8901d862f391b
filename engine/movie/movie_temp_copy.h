// The temporary copy of a movie file for players that open files only by name.
#pragma once

#include <cstddef>

#include "core/core.h"

// Copies the file (a plain file or an archive member) into a new temporary file whose name goes
// to tempName; false, with nothing left behind, when it cannot be made.
bool CopyMovieToTempFile(const char* path, char* tempName, size_t tempNameSize);
