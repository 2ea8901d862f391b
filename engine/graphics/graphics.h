// Graphics core: device or software screen, graph handles, image records and loaders,
// software images, matrix maths.
#pragma once
