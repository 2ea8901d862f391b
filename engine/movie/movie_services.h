// Movie services to the other subsystems: the player's tables, pause and resume with the
// window, overlays, frames after a device re-creation, and the Theora player's frame.
#pragma once

#include "movie/movie.h"

// ---------------------------------------------------------------- services to the other subsystems

// Builds the colour-conversion tables of the movie player.
int BuildYuvTables();
// Pauses every playing movie (window deactivated) and restarts exactly those (activated).
int PauseAllMovies();
int ResumeAllMovies();
// Moves every movie overlay to the window's current position.
int UpdateAllMovieOverlays();
// After the device was made again (its textures come back empty): every movie hands the frame
// it shows to its callback once more, a Theora player through a YUV surface made on the new
// device. 0 always.
int RestoreMovieFrames();
// Non-zero when the player's current frame was brought into the frame image and/or the YUV
// surface; 0 when both already held it or it is not there.
int UpdateTheoraFrame(void* player, int toImage, int toSurface);
// The player's Direct3D YUV surface, or null. It holds the whole coded frame: the picture is
// the player's picture size at the origin this gives.
void* GetTheoraYuvSurface(void* player);
void GetTheoraPictureOrigin(void* player, int* left, int* top);
