// The world view's part of the world: pictures, fonts and the mouse tools.
// Drawing is not built yet: no pictures or fonts are loaded (their handles stay -1) and the mouse
// tools do nothing.
#include "world.h"

void World::LoadView() {}

void World::ReleaseView() {}

void World::RunMouseTools() {}
