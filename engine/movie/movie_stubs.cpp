// Least versions of the movie services the other subsystems call, until the movie player is
// built: no movie can be opened, so there is never a movie to pause, update or close.
#include "movie/movie.h"

int BuildYuvTables() { return 0; }
int PauseAllMovies() { return 0; }
int ResumeAllMovies() { return 0; }
int UpdateAllMovieOverlays() { return 0; }
int OpenMovie(const char*, int*, int*, int) { return -1; }
MovieRecord* GetMovieRecord(int) { return nullptr; }
int SetMovieFrameCallback(int, void (*)(MovieRecord*, int), int) { return -1; }
int UpdateMovieFrame(int, int) { return -1; }
int CloseMovie(int) { return -1; }
int UpdateTheoraFrame(void*, int, int) { return 0; }
void* GetTheoraYuvSurface(void*) { return nullptr; }
