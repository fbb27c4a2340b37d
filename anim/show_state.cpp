#include "anim/show_state.h"

#include "anim/show_clock.h"

#include "kernel/build_setting.h"
#include "scene/bounds.h"
#include "scene/presets.h"

void startShow(ShowState& show, const char* cameraFile) {
    show.camera = Camera{};
    if (cameraFile) loadCameraFile(show.camera, cameraFile);
    buildPedestalScene(show.world);
    setInitialFrameValues(show.world.frame);
}

void advanceShow(ShowState& show, float dtMs) {
    show.demoTime = advanceClock(show.demoTime, dtMs);
    stepChoreography(show.choreography, show.world, show.camera, dtMs);
    handleFlightKeys(show.camera, show.keys, dtMs);
    updateCameraBasis(show.camera, show.world.frame, samplesPerFrame);
    if (show.world.frame.sceneId == groupedSceneId) updateFigureBounds(show.world);
}
