// Movies: movie handles, the platform movie graph and the Theora player.
#pragma once

#include <cstdint>

struct MovieRecord;

// A movie handle, or -1 when the file cannot be played. The outputs may be null.
int OpenMovie(const char* fileName, int* width, int* height, int flag);
// The movie's record, null for a handle that is not a live movie.
MovieRecord* GetMovieRecord(int movieHandle);
// The callback gets every frame handed over, with the graph handle as its second argument.
int SetMovieFrameCallback(int movieHandle, void (*callback)(MovieRecord* movie, int graphHandle),
                          int graphHandle);
// Brings the movie's frame up to date and hands it to the callback; 0 always.
int UpdateMovieFrame(int movieHandle, int flag);
// 0, or -1 for anything that is not a live movie handle.
int CloseMovie(int movieHandle);
