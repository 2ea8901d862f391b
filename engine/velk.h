// The whole public interface of the Velk library.
#pragma once

#include "core/core.h"
#include "graphics/graphics.h"
#include "draw/draw.h"
#include "sound/sound.h"
#include "movie/movie.h"
