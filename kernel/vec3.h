#pragma once
#include "kernel/host_device.h"

// Three single-precision floats: points, directions and colours alike.
struct Vec3 {
    float x, y, z;
};

TPL_HD Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
TPL_HD Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
TPL_HD Vec3 operator-(Vec3 a) {
    return {-a.x, -a.y, -a.z};
}
TPL_HD Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
TPL_HD Vec3 operator*(float s, Vec3 a) {
    return {a.x * s, a.y * s, a.z * s};
}
TPL_HD Vec3 mul(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
TPL_HD float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
TPL_HD Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
