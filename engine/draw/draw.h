// Drawing and fonts: draw settings, public draw calls, vertex builders, masks, lights, fonts.
#pragma once
