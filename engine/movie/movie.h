// Movies: movie handles, the platform movie graph and the Theora player.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- services to the other subsystems

struct MovieRecord;
struct ImageRecord;

// Builds the colour-conversion tables of the movie player.
int BuildYuvTables();
// Pauses every playing movie (window deactivated) and restarts exactly those (activated).
int PauseAllMovies();
int ResumeAllMovies();
// Moves every movie overlay to the window's current position.
int UpdateAllMovieOverlays();
// A movie handle, or a negative value when the file cannot be played.
int OpenMovie(const char* fileName, int* width, int* height, int flag);
// The movie's record, null for a handle that is not a live movie.
MovieRecord* GetMovieRecord(int movieHandle);
int SetMovieFrameCallback(int movieHandle, void (*callback)(MovieRecord* movie, int graphHandle),
                          int graphHandle);
int UpdateMovieFrame(int movieHandle, int flag);
// 0, or -1 for anything that is not a live movie handle.
int CloseMovie(int movieHandle);
// Non-zero when a new frame was brought into the surface and/or the frame image.
int UpdateTheoraFrame(void* player, int toImage, int toSurface);
void* GetTheoraYuvSurface(void* player);
