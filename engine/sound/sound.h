// Sound: sound handles, sound buffers, normal and stream sounds, decoders.
#pragma once
