#pragma once
#include "kernel/host_device.h"

// Three numbers of one kind: points, directions and colours alike. The tracer
// uses Vec3 (floats); the CPU's vector kernel the same code over vector lanes.
template <class F>
struct Vec3T {
    F x, y, z;
};
using Vec3 = Vec3T<float>;

// Keeps a parameter out of template deduction, so v * 2.0f works for lanes too.
template <class T>
struct NoDeduce {
    using type = T;
};
template <class T>
using Same = typename NoDeduce<T>::type;

template <class F>
TPL_HD Vec3T<F> operator+(Vec3T<F> a, Vec3T<F> b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class F>
TPL_HD Vec3T<F> operator-(Vec3T<F> a, Vec3T<F> b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class F>
TPL_HD Vec3T<F> operator-(Vec3T<F> a) {
    return {-a.x, -a.y, -a.z};
}
template <class F>
TPL_HD Vec3T<F> operator*(Vec3T<F> a, Same<F> s) {
    return {a.x * s, a.y * s, a.z * s};
}
template <class F>
TPL_HD Vec3T<F> operator*(Same<F> s, Vec3T<F> a) {
    return {a.x * s, a.y * s, a.z * s};
}
template <class F>
TPL_HD Vec3T<F> mul(Vec3T<F> a, Vec3T<F> b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
template <class F>
TPL_HD F dot(Vec3T<F> a, Vec3T<F> b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <class F>
TPL_HD Vec3T<F> cross(Vec3T<F> a, Vec3T<F> b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
