#pragma once
#include "scene/world.h"

// The three scenes. Each writes its fixed spheres, boxes and materials and
// leaves everything else of the record as it was.
void buildSpheresScene(World& w);   // spheresSceneId: light between red and blue spheres
void buildPedestalScene(World& w);  // pedestalSceneId: pedestal, figures, glass balls (grouped layout)
void buildRoomScene(World& w);      // roomSceneId: the room with the mirror ball
