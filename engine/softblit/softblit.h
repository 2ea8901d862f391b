// Software blit kernels: unscaled, stretched, rotated, triangle, box and line drawing
// between software images.
#pragma once
