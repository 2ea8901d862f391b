// Movies: movie handles, the platform movie graph and the Theora player.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- services to the other subsystems

struct MovieRecord;

// Builds the colour-conversion tables of the movie player.
int BuildYuvTables();
// Pauses every playing movie (window deactivated) and restarts exactly those (activated).
int PauseAllMovies();
int ResumeAllMovies();
// Moves every movie overlay to the window's current position.
int UpdateAllMovieOverlays();
// A movie handle, or -1 when the file cannot be played. The outputs may be null.
int OpenMovie(const char* fileName, int* width, int* height, int flag);
// The movie's record, null for a handle that is not a live movie.
MovieRecord* GetMovieRecord(int movieHandle);
// The callback gets every frame handed over, with the graph handle as its second argument.
int SetMovieFrameCallback(int movieHandle, void (*callback)(MovieRecord* movie, int graphHandle),
                          int graphHandle);
// Brings the movie's frame up to date and hands it to the callback; 0 always.
int UpdateMovieFrame(int movieHandle, int flag);
// After the device was made again (its textures come back empty): every movie hands the frame
// it shows to its callback once more, a Theora player through a YUV surface made on the new
// device. 0 always.
int RestoreMovieFrames();
// 0, or -1 for anything that is not a live movie handle.
int CloseMovie(int movieHandle);
// Non-zero when the player's current frame was brought into the frame image and/or the YUV
// surface; 0 when both already held it or it is not there.
int UpdateTheoraFrame(void* player, int toImage, int toSurface);
// The player's Direct3D YUV surface, or null. It holds the whole coded frame: the picture is
// the player's picture size at the origin this gives.
void* GetTheoraYuvSurface(void* player);
void GetTheoraPictureOrigin(void* player, int* left, int* top);
