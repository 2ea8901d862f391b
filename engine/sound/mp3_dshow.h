// MPEG audio decoded whole through a streaming graph: the pin lookup and the grabber's
// callback of the conversion.
#pragma once

#include "movie/dshow_filters.h"

// The first pin of the filter with the direction (0 input, 1 output), referenced for the
// caller; null when there is none.
V_IPin* FindPinByDirection(V_IBaseFilter* filter, int direction);
// Appends a decoded sample to the decoder's PCM block (growing it in 1 MiB steps); 0.
V_HRESULT Mp3GrabberCallback(V_IMediaSample* sample, V_REFERENCE_TIME* start,
                             V_REFERENCE_TIME* stop, V_BOOL typeChanged, void* user);
