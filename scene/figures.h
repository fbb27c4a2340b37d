#pragma once
#include "scene/world.h"

constexpr float DEG2RAD = 0.017453292f;

// How many entries each character takes, from its first index on.
constexpr int figureSphereCount = 4;
constexpr int figureBoxCount = 2;
constexpr int companionSphereCount = 3;

// Pose the characters in place. Angles in degrees; heading h faces (cos h, 0, sin h).
void placeCompanion(World& w, float x, float y, float z, float heading, float hopPhase);
// walkPhase -1 means standing feet.
void placeFigureWalking(World& w, float x, float y, float z, float heading, float walkPhase);
void placeFigureLooking(World& w, float x, float y, float z, float tx, float ty, float tz, float heading);
