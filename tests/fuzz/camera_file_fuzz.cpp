// The camera file's parser on arbitrary text: whatever the text holds, the eye
// ends up at a finite position.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "anim/camera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Camera cam;
    parseCameraText(std::string(reinterpret_cast<const char*>(data), size), cam);
    const Vec3 p = cam.cameraPos;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        std::fprintf(stderr, "broken: the eye left the finite space\n");
        std::abort();
    }
    return 0;
}
