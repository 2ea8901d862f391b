// The searches around a creature, and the per-kind slot sets and field cells behind them.
#include <algorithm>

#include "world.h"

int World::CellColumn(int32_t pixelX) {
    return std::clamp(pixelX / kCellPixels, 0, kCellColumns - 1);
}

int World::CellRow(int32_t pixelY) {
    return std::clamp(pixelY / kCellPixels, 0, kCellRows - 1);
}

void World::LinkSlot(int32_t slot) {
    const Creature& c = creatures[slot];
    const int cell = CellRow(c.y / 1000) * kCellColumns + CellColumn(c.x / 1000);
    const int16_t head = cellHead[c.kind][cell];
    cellNext[slot] = head;
    cellPrevious[slot] = -1;
    if (head >= 0) {
        cellPrevious[head] = static_cast<int16_t>(slot);
    }
    cellHead[c.kind][cell] = static_cast<int16_t>(slot);
    cellOf[slot] = static_cast<int16_t>(cell);
    listedKind[slot] = static_cast<int8_t>(c.kind);
}

void World::UnlinkSlot(int32_t slot) {
    const int kind = listedKind[slot];
    if (kind < 0) {
        return;
    }
    const int16_t next = cellNext[slot];
    const int16_t previous = cellPrevious[slot];
    if (previous >= 0) {
        cellNext[previous] = next;
    } else {
        cellHead[kind][cellOf[slot]] = next;
    }
    if (next >= 0) {
        cellPrevious[next] = previous;
    }
    listedKind[slot] = -1;
}

void World::NoteMoved(int32_t slot) {
    const Creature& c = creatures[slot];
    const int cell = CellRow(c.y / 1000) * kCellColumns + CellColumn(c.x / 1000);
    if (listedKind[slot] >= 0 && cell != cellOf[slot]) {
        UnlinkSlot(slot);
        LinkSlot(slot);
    }
}

void World::ChangeSlotKind(int32_t slot, int32_t from, int32_t to) {
    const uint64_t bit = uint64_t{1} << (slot % 64);
    if (from >= 0 && from <= Empty) {
        kindIndex[from][slot / 64] &= ~bit;
    }
    if (to >= 0 && to <= Empty) {
        kindIndex[to][slot / 64] |= bit;
    }
    emptyCount += (to == Empty ? 1 : 0) - (from == Empty ? 1 : 0);
    UnlinkSlot(slot);
    if (to >= 0 && to < kCreatureKindCount) {
        LinkSlot(slot);
    }
}

void World::RebuildKindIndex() {
    for (auto& words : kindIndex) {
        std::fill(std::begin(words), std::end(words), 0);
    }
    for (auto& heads : cellHead) {
        std::fill(std::begin(heads), std::end(heads), -1);
    }
    std::fill(std::begin(listedKind), std::end(listedKind), -1);
    emptyCount = 0;
    for (int32_t slot = 0; slot < kWorldSlotCount; ++slot) {
        ChangeSlotKind(slot, -1, creatures[slot].kind);
    }
}

template <typename Visit>
void World::ForEachInPixelRange(int32_t kind, int32_t left, int32_t right, int32_t top,
                                int32_t bottom, Visit visit) {
    // Cells are monotone in the pixel position, so the cells of the range's corners bound it.
    const int column0 = CellColumn(left), column1 = CellColumn(right);
    const int row0 = CellRow(top), row1 = CellRow(bottom);
    for (int row = row0; row <= row1; ++row) {
        for (int column = column0; column <= column1; ++column) {
            for (int slot = cellHead[kind][row * kCellColumns + column]; slot >= 0;
                 slot = cellNext[slot]) {
                visit(slot, creatures[slot]);
            }
        }
    }
}

Creature* World::FindNearest(int32_t x, int32_t y, int32_t kind) {
    if (kind < 0 || kind > Empty) {
        return nullptr;
    }
    Creature* nearest = nullptr;
    int64_t nearestDistance = 0;
    FindFirstOfKind(kind, [&](Creature& c) {
        if (c.energy >= 1) {
            const int64_t distance = PixelDistanceSquared(x, y, c.x, c.y);
            if (nearest == nullptr || distance < nearestDistance) {
                nearest = &c;
                nearestDistance = distance;
            }
        }
        return false;
    });
    return nearest;
}

Creature* World::FindNearestWithin(int32_t x, int32_t y, int32_t kind, int32_t radiusPixels) {
    // Within r pixels: the whole-pixel offsets on each axis are at most r - 1.
    const int32_t px = x / 1000, py = y / 1000, reach = radiusPixels - 1;
    const int64_t range = int64_t{radiusPixels} * radiusPixels;
    int32_t nearestSlot = -1;
    int64_t nearestDistance = 0;
    ForEachInPixelRange(kind, px - reach, px + reach, py - reach, py + reach,
                        [&](int32_t slot, const Creature& c) {
                            if (c.energy < 1) {
                                return;
                            }
                            const int64_t distance = PixelDistanceSquared(x, y, c.x, c.y);
                            if (distance >= range) {
                                return;
                            }
                            if (nearestSlot < 0 || distance < nearestDistance ||
                                (distance == nearestDistance && slot < nearestSlot)) {
                                nearestSlot = slot;
                                nearestDistance = distance;
                            }
                        });
    return nearestSlot >= 0 ? &creatures[nearestSlot] : nullptr;
}

Creature* World::FindFirstWithinPixels(int32_t x, int32_t y, int32_t kind, int32_t radiusPixels) {
    const int32_t px = x / 1000, py = y / 1000, reach = radiusPixels - 1;
    const int64_t range = int64_t{radiusPixels} * radiusPixels;
    int32_t first = -1;
    ForEachInPixelRange(
        kind, px - reach, px + reach, py - reach, py + reach, [&](int32_t slot, const Creature& c) {
            if ((first < 0 || slot < first) && PixelDistanceSquared(x, y, c.x, c.y) < range) {
                first = slot;
            }
        });
    return first >= 0 ? &creatures[first] : nullptr;
}

Creature* World::FindFirstWithinTenths(int32_t x, int32_t y, int32_t kind, int32_t radiusTenths) {
    // Whole pixels are tenths divided by ten, so the tenth-pixel range maps onto a pixel range.
    const int32_t tx = x / 100, ty = y / 100, reach = radiusTenths - 1;
    const int64_t range = int64_t{radiusTenths} * radiusTenths;
    int32_t first = -1;
    ForEachInPixelRange(
        kind, (tx - reach) / 10, (tx + reach) / 10, (ty - reach) / 10, (ty + reach) / 10,
        [&](int32_t slot, const Creature& c) {
            if ((first < 0 || slot < first) && TenthPixelDistanceSquared(x, y, c.x, c.y) < range) {
                first = slot;
            }
        });
    return first >= 0 ? &creatures[first] : nullptr;
}
