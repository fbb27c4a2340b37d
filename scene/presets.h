#pragma once
#include "scene/world.h"

// The three scenes. Each writes its fixed spheres, boxes and materials and
// leaves everything else of the record as it was.
void buildSceneX(World& w);  // preset 0: light between red and blue spheres
void buildSceneY(World& w);  // preset 1: pedestal, figures, glass balls (grouped layout)
void buildSceneZ(World& w);  // preset 2: the room with the mirror ball
