#include "anim/choreography.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/figures.h"
#include "scene/presets.h"

// One character per step. Figure: scene letters, walking letters and poses;
// companion: walking letters; camera (read with the companion's index): segment digits.
const char* const FigureScript =
    "X            Y*ww2s1wwwWW@^WWWW&eeeeeeEEEE2121v2121^EEEEEEEEEEEEEEE_Z"
    "_________________________________________________________________________";
const char* const CompanionScript =
    "              __________________________________________EEEEEEEEEEE___"
    "ESNWSNEWSENWESNWSNEWSESNWSNEWSNWSNEWSENWSNEWSESNWSNEWSNWSNSNWS";
const char* const CameraScript =
    " 7             1      2     3   4   5      6         2               8"
    "                                                                                              ";

namespace {

constexpr float stepLength = 5.0f;
constexpr float quarterTurnRad = 1.5707964f;

// How fast a step goes, in steps per millisecond, by what the step does.
constexpr float walkRate = 0.001f;       // E W S N: one step a second
constexpr float strollRate = 0.0007f;    // e w s n
constexpr float turnRate = 0.002f;       // 1 2: half a second a quarter turn
constexpr float raiseLightRate = 0.0001f;
constexpr float lowerLightRate = 0.00008f;
constexpr float dimLightRate = 0.0004f;

enum FigureMode {
    modeWalk = 1,
    modeTurnLeft = 3,   // +90 degrees over the step
    modeTurnRight = 4,  // -90 degrees over the step, +270 at its end
    modeRaiseLight = 5,
    modeLowerLight = 6,
    modeDimLight = 8,
    modeFaceCompanion = 9,
};

void setLight(FrameData& fd, Vec3 centre, float radius, float radius2) {
    putSphere(fd, 0, centre, radius, radius2, 0);
}

void setEmission(FrameData& fd, float red, float green, float blue) {
    fd.materials[0] = MaterialEntry{red, green, blue, materialDiffuse};
}

void setBodyColour(FrameData& fd, float red, float green, float blue) {
    fd.materials[7].red = red;
    fd.materials[7].green = green;
    fd.materials[7].blue = blue;
}

void advance(int& index, const char* script) {
    if (++index >= static_cast<int>(std::strlen(script))) index = 0;
}

void advanceBoth(Choreography& ch) {
    advance(ch.figureIndex, FigureScript);
    advance(ch.companionIndex, CompanionScript);
}

char figureChar(const Choreography& ch) {
    return FigureScript[ch.figureIndex];
}

// Scene letters take effect at once and are consumed, so a step can chain them.
void applySceneSwitches(Choreography& ch, World& w) {
    FrameData& fd = w.frame;
    if (figureChar(ch) == 'X') {
        buildSpheresScene(w);
        fd.sceneId = spheresSceneId;
        advanceBoth(ch);
    }
    if (figureChar(ch) == 'Y') {
        buildPedestalScene(w);
        fd.sceneId = pedestalSceneId;
        advanceBoth(ch);
    }
    if (figureChar(ch) == 'Z') {
        buildRoomScene(w);
        fd.sceneId = roomSceneId;
        ch.figurePos = {-4.0f, 0.0f, 0.0f};
        ch.companionPos = {4.0f, 0.0f, 0.0f};
        ch.figureHeading = 270.0f;
        ch.figureMode = modeFaceCompanion;
        w.firstLook = true;
        advanceBoth(ch);
    }
    if (figureChar(ch) == '*') {
        ch.figurePos = {51.0f, 0.0f, -5.0f};
        setBodyColour(fd, 0.2f, 0.2f, 0.8f);
        setLight(fd, {0.0f, 17.0f, 0.0f}, 0.5f, 0.25f);
        setEmission(fd, 50.0f, 50.0f, 100.0f);
        w.firstLook = true;
        advanceBoth(ch);
    }
    if (figureChar(ch) == '&') {
        ch.figurePos = {-53.0f, 0.0f, 0.0f};
        setBodyColour(fd, 1.0f, 0.6f, 0.6f);
        w.firstLook = false;
        advanceBoth(ch);
    }
}

bool walkDirection(char c, Vec3& step, float& heading) {
    switch (c) {
        case 'E':
        case 'e':
            step = {1.0f, 0.0f, 0.0f};
            heading = 0.0f;
            return true;
        case 'W':
        case 'w':
            step = {-1.0f, 0.0f, 0.0f};
            heading = 180.0f;
            return true;
        case 'S':
        case 's':
            step = {0.0f, 0.0f, 1.0f};
            heading = 90.0f;
            return true;
        case 'N':
        case 'n':
            step = {0.0f, 0.0f, -1.0f};
            heading = 270.0f;
            return true;
        default:
            return false;
    }
}

// Characters outside the table keep mode and rate with the step left at zero.
void readFigureChar(Choreography& ch, char c) {
    if (c == 'E' || c == 'W' || c == 'S' || c == 'N') {
        walkDirection(c, ch.figureStep, ch.figureHeading);
        ch.figureMode = modeWalk;
        ch.stepRate = walkRate;
    } else if (c == 'e' || c == 'w' || c == 's' || c == 'n') {
        walkDirection(c, ch.figureStep, ch.figureHeading);
        ch.figureMode = modeWalk;
        ch.stepRate = strollRate;
    } else if (c == '1') {
        ch.figureMode = modeTurnLeft;
        ch.stepRate = turnRate;
    } else if (c == '2') {
        ch.figureMode = modeTurnRight;
        ch.stepRate = turnRate;
    } else if (c == '^') {
        ch.figureMode = modeRaiseLight;
        ch.stepRate = raiseLightRate;
    } else if (c == 'v') {
        ch.figureMode = modeLowerLight;
        ch.stepRate = lowerLightRate;
    } else if (c == '@') {
        ch.figureMode = modeDimLight;
        ch.stepRate = dimLightRate;
    }
}

void readCameraChar(Camera& cam, char k) {
    if (k < '1' || k > '8') return;
    cam.cameraSegment = k - '0';
    cam.segmentT = 0.0f;
    cam.segmentRate = cameraSegmentRate(cam.cameraSegment);
}

Vec3 unitOrZero(Vec3 v) {
    const float length = std::sqrt(dot(v, v));
    return length > 0.0f ? v * (1.0f / length) : v;
}

void crossBoundary(Choreography& ch, World& w, Camera& cam, float e) {
    FrameData& fd = w.frame;
    ch.figurePos = ch.figurePos + ch.figureStep * stepLength;
    ch.companionPos = ch.companionPos + ch.companionStep * stepLength;
    ch.stepProgress = e - 1.0f;  // the remainder carries into the next step

    // The raise ends exactly at its top values, whatever the last frame posed.
    if (ch.figureIndex != -1 && figureChar(ch) == '^') {
        setLight(fd, {0.0f, 94.0f, 50.0f}, 3.0f, 9.0f);
        setEmission(fd, 240.0f, 240.0f, 200.0f);
    }
    if (ch.figureMode == modeTurnLeft || ch.figureMode == modeTurnRight) {
        ch.figureHeading += ch.figureMode == modeTurnLeft ? 90.0f : 270.0f;
        if (ch.figureHeading >= 360.0f) ch.figureHeading -= 360.0f;
    }

    advanceBoth(ch);
    ch.figureStep = {0.0f, 0.0f, 0.0f};
    ch.companionStep = {0.0f, 0.0f, 0.0f};
    applySceneSwitches(ch, w);

    readFigureChar(ch, figureChar(ch));
    const char d = CompanionScript[ch.companionIndex];
    if (d == 'E' || d == 'W' || d == 'S' || d == 'N') walkDirection(d, ch.companionStep, ch.companionHeading);
    ch.figureStep = unitOrZero(ch.figureStep);
    ch.companionStep = unitOrZero(ch.companionStep);
    readCameraChar(cam, CameraScript[ch.companionIndex]);
}

// Light raised by s in [0, 1] of its climb, glowing with progress p.
void poseRisingLight(Choreography& ch, World& w, float p) {
    const float s = std::sin(p * quarterTurnRad);
    const Vec3 light{0.0f, s * 100.0f - 6.0f, 50.0f};
    setLight(w.frame, light, 3.0f, 9.0f);
    setEmission(w.frame, (p + 1.0f) * 120.0f, p * 240.0f, p * 200.0f);
    placeFigureLooking(w, ch.figurePos.x, ch.figurePos.y, ch.figurePos.z, light.x, light.y, light.z, ch.figureHeading);
}

void poseFigure(Choreography& ch, World& w, float e) {
    FrameData& fd = w.frame;
    const Vec3 p = ch.figurePos;
    switch (ch.figureMode) {
        case modeWalk: {
            const Vec3 at = p + ch.figureStep * stepLength * e;
            placeFigureWalking(w, at.x, at.y, at.z, ch.figureHeading, e * 360.0f);
            break;
        }
        case modeTurnLeft:
            placeFigureWalking(w, p.x, p.y, p.z, ch.figureHeading + std::sin(e * quarterTurnRad) * 90.0f, -1.0f);
            break;
        case modeTurnRight:
            placeFigureWalking(w, p.x, p.y, p.z, ch.figureHeading - std::sin(e * quarterTurnRad) * 90.0f, -1.0f);
            break;
        case modeRaiseLight:
            poseRisingLight(ch, w, e);
            break;
        case modeLowerLight:
            poseRisingLight(ch, w, 1.0f - e);
            break;
        case modeDimLight: {
            const float fade = 1.0f - std::min(e * 3.0f, 1.0f);  // dark after the first third
            setEmission(fd, fade * 50.0f, fade * 50.0f, fade * 100.0f);
            placeFigureLooking(w, p.x, p.y, p.z, fd.sphereX[0], fd.sphereY[0], fd.sphereZ[0], ch.figureHeading);
            break;
        }
        case modeFaceCompanion: {
            const int i = w.slots.companionSphereStart;
            placeFigureLooking(w, p.x, p.y, p.z, fd.sphereX[i], fd.sphereY[i] - 2.0f, fd.sphereZ[i], ch.figureHeading);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void stepChoreography(Choreography& ch, World& w, Camera& cam, float dtMs) {
    ch.stepProgress += ch.stepRate * dtMs;
    if (ch.stepProgress >= 1.0f) crossBoundary(ch, w, cam, ch.stepProgress);

    const float e = ch.stepProgress;
    poseFigure(ch, w, e);
    const Vec3 companionAt = ch.companionPos + ch.companionStep * stepLength * e;
    placeCompanion(w, companionAt.x, companionAt.y, companionAt.z, ch.companionHeading, e * 360.0f);

    updateKeyframeCamera(cam, dtMs);
}
