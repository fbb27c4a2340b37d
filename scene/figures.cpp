#include "scene/figures.h"

#include <cmath>

#include "kernel/vec3.h"

namespace {

constexpr float standingPhase = -1.0f;

// A character's local frame: u ahead along the heading, v to the side, height up.
struct LocalFrame {
    Vec3 origin;
    float cosH, sinH;
    LocalFrame(Vec3 o, float headingDeg)
        : origin(o), cosH(std::cos(headingDeg * DEG2RAD)), sinH(std::sin(headingDeg * DEG2RAD)) {}
    Vec3 at(float u, float v, float height) const {
        return {origin.x + u * cosH - v * sinH, origin.y + height, origin.z + u * sinH + v * cosH};
    }
};

constexpr int bodyMaterial = 7;
constexpr int eyeMaterial = 8;
constexpr int pupilMaterial = 9;
constexpr int companionBodyMaterial = 2;

void placeFeet(World& w, const LocalFrame& feet, float walkPhase) {
    FrameData& fd = w.frame;
    const int b = w.slots.figureBoxStart;
    if (walkPhase == standingPhase) {
        putBox(fd, b, feet.at(-1.5f, 1.0f, 0.0f), feet.at(1.5f, 3.0f, 1.0f), bodyMaterial);
        putBox(fd, b + 1, feet.at(-1.5f, -3.0f, 0.0f), feet.at(1.5f, -1.0f, 1.0f), bodyMaterial);
        return;
    }
    // Opposite phases: one foot swings forward and lifts while the other goes back and down.
    const float a = std::sin(walkPhase * DEG2RAD);
    const float c = std::cos(walkPhase * DEG2RAD);
    putBox(fd, b, feet.at(a - 1.5f, 1.0f, c + 0.5f), feet.at(a + 1.5f, 3.0f, c + 1.5f), bodyMaterial);
    putBox(fd, b + 1, feet.at(-a - 1.5f, -3.0f, -c + 0.5f), feet.at(-a + 1.5f, -1.0f, -c + 1.5f), bodyMaterial);
}

void placeFourthSphere(World& w, Vec3 centre) {
    if (w.firstLook)
        putSphere(w.frame, w.slots.figureSphereStart + 3, centre, 1.0f, 1.0f, bodyMaterial);
    else
        putSphere(w.frame, w.slots.figureSphereStart + 3, centre, 0.7f, 0.7f * 0.7f, bodyMaterial);
}

}  // namespace

void placeCompanion(World& w, float x, float y, float z, float heading, float hopPhase) {
    FrameData& fd = w.frame;
    const int i = w.slots.companionSphereStart;
    // Touches down twice per turn of the phase, rising at most 3 units.
    const float c = y + 1.5f + std::fabs(3.0f * std::sin(hopPhase * DEG2RAD));
    const float cosH = std::cos(heading * DEG2RAD);
    const float sinH = std::sin(heading * DEG2RAD);
    putSphere(fd, i, {x, c, z}, 2.0f, 4.0f, companionBodyMaterial);
    putSphere(fd, i + 1, {x + 0.4f * cosH, c, z + 0.4f * sinH}, 1.7f, 2.89f, eyeMaterial);
    putSphere(fd, i + 2, {x + cosH, c, z + sinH}, 1.2f, 1.44f, pupilMaterial);
}

void placeFigureWalking(World& w, float x, float y, float z, float heading, float walkPhase) {
    FrameData& fd = w.frame;
    const int i = w.slots.figureSphereStart;
    const Vec3 ground{x, y, z};
    // The head sways with the step; the feet keep the heading.
    const LocalFrame head(ground, heading + 10.0f * std::sin(walkPhase * DEG2RAD));
    const LocalFrame feet(ground, heading);

    putSphere(fd, i, {x, y + 4.0f, z}, 3.0f, 9.0f, bodyMaterial);
    putSphere(fd, i + 1, head.at(1.3f, 0.0f, 4.0f), 2.0f, 4.0f, eyeMaterial);
    putSphere(fd, i + 2, head.at(2.5f, 0.0f, 4.0f), 1.0f, 1.0f, pupilMaterial);
    placeFourthSphere(w, w.firstLook ? head.at(1.0f, 1.0f, 6.0f) : head.at(-1.2f, 0.5f, 7.6f));
    placeFeet(w, feet, walkPhase);
}

void placeFigureLooking(World& w, float x, float y, float z, float tx, float ty, float tz, float heading) {
    FrameData& fd = w.frame;
    const int i = w.slots.figureSphereStart;
    const Vec3 body{x, y + 4.0f, z};

    // Aimed from the ground point, not the body centre. A target on the ground
    // point itself has no direction; the figure then looks along its heading.
    Vec3 n{tx - x, ty - y, tz - z};
    const float lengthSq = dot(n, n);
    if (lengthSq > 1e-12f && std::isfinite(lengthSq))
        n = n * (1.0f / std::sqrt(lengthSq));
    else
        n = {std::cos(heading * DEG2RAD), 0.0f, std::sin(heading * DEG2RAD)};

    putSphere(fd, i, body, 3.0f, 9.0f, bodyMaterial);
    putSphere(fd, i + 1, body + 1.3f * n, 2.0f, 4.0f, eyeMaterial);
    putSphere(fd, i + 2, body + 2.5f * n, 1.0f, 1.0f, pupilMaterial);
    placeFourthSphere(w, body);  // hidden inside the body in this pose
    placeFeet(w, LocalFrame({x, y, z}, heading), standingPhase);
}
