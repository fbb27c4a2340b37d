#include "anim/show_state.h"

#include "kernel/build_setting.h"
#include "scene/bounds.h"
#include "scene/presets.h"

void startShow(ShowState& show, const char* cameraFile) {
    show.camera = Camera{};
    if (cameraFile) loadCameraFile(show.camera, cameraFile);
    buildSceneY(show.world);
    setInitialFrameValues(show.world.frame);
}

void advanceShow(ShowState& show, float dtMs) {
    show.demoTime += dtMs * 0.001f;
    stepChoreography(show.choreography, show.world, show.camera, dtMs);
    handleFlightKeys(show.camera, show.keys, dtMs);
    updateCameraBasis(show.camera, show.world.frame, samplesPerFrame);
    if (show.world.frame.sceneId == groupedSceneId) updateFigureBounds(show.world);
}
