#pragma once
#include "scene/world.h"

// Axis-aligned volumes that guard the grouped layout's figure and pedestal
// (their index ranges and slots are in kernel/grouped_scene.h).
void updateFigureBounds(World& w);
void updatePedestalBounds(World& w);
