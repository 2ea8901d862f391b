// Movement helpers shared by the moving kinds.
#pragma once

#include <cmath>
#include <cstdint>

#include "creature.h"
#include "velk.h"

namespace creature_motion {

// Degrees to radians with pi taken as 3.1415926535.
constexpr double kRadiansPerDegree = 0.017453292519444445;

// A random direction: a whole number of degrees 0..360.
inline double RandomAngle() {
    return GetRandomInt(360) * kRadiansPerDegree;
}

// The direction from (x, y) toward (toX, toY) on the milli-pixel coordinates.
inline double AngleToward(int32_t x, int32_t y, int32_t toX, int32_t toY) {
    return std::atan2(static_cast<double>(toY) - y, static_cast<double>(toX) - x);
}

// A velocity component: the product truncated toward zero.
inline int32_t Truncate(double value) {
    return static_cast<int32_t>(value);
}

// Moves by the velocity and keeps the creature in 8000..628000 x 8000..468000; an axis that hits
// a bound stops.
inline void MoveAndClamp(Creature& c) {
    c.x += c.vx;
    c.y += c.vy;
    c.tickCounter += 1;
    if (c.x < 8000) {
        c.x = 8000;
        c.vx = 0;
    } else if (c.x > 628000) {
        c.x = 628000;
        c.vx = 0;
    }
    if (c.y < 8000) {
        c.y = 8000;
        c.vy = 0;
    } else if (c.y > 468000) {
        c.y = 468000;
        c.vy = 0;
    }
}

// Hunger speeds a creature up, plenty slows it down, one step per ten counts.
inline void UpdateSpeed(Creature& c, int32_t energyCap, int32_t slowAbove) {
    if (c.energy > energyCap) {
        c.energy = energyCap;
    }
    if (c.energy < 300) {
        c.speedCounter += 1;
    }
    if (c.energy > slowAbove) {
        c.speedCounter -= 1;
    }
    if (c.speedCounter >= 10) {
        c.speedCounter = 0;
        c.speed += 1;
    } else if (c.speedCounter < 0) {
        c.speed -= 1;
        c.speedCounter = 9;
    }
}

}  // namespace creature_motion
