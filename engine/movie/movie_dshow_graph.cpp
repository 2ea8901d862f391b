// The DirectShow player of movie files the Theora decoder does not take. Until the platform's
// filter graph is there, no such file opens.
#include "movie/movie_record.h"

int OpenDirectShowMovie(void*, MovieRecord*, const char*, int*, int*, int) { return -1; }
void CloseDirectShowMovie(MovieRecord*) {}
void UpdateDirectShowMovie(MovieRecord*) {}
bool RunDirectShowMovie(MovieRecord*) { return false; }
bool PauseDirectShowMovie(MovieRecord*) { return false; }
