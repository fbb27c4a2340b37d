#pragma once
#include "scene/world.h"

// Axis-aligned volumes that guard the grouped layout's figure (slot 0) and pedestal (slot 1).
void updateFigureBounds(World& w);
void updatePedestalBounds(World& w);
