// shadeDiffuse for a vector of paths, lane by lane the scalar arithmetic: the
// generator in 32-bit integer lanes, square roots and divisions correctly
// rounded, no fused multiply-adds. Sine and cosine are not here: the caller
// takes them per lane with the library functions between the two passes.
#if defined(TPL_BATCHED_DIFFUSE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_BATCHED_DIFFUSE_INL_H_
#undef TPL_BATCHED_DIFFUSE_INL_H_
#else
#define TPL_BATCHED_DIFFUSE_INL_H_
#endif

#include <hwy/highway.h>

#include "kernel/batched_diffuse.h"
#include "kernel/materials.h"
#include "kernel/rng.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most a block's worth of lanes, so every vector width divides the block.
using DB = hn::CappedTag<float, diffuseBlock>;
using VB = hn::Vec<DB>;
using DBU = hn::RebindToUnsigned<DB>;
using VBU = hn::Vec<DBU>;

struct LaneRng {
    VBU mwcHigh, mwcLow, congState, shiftState;
};

// nextRandom: the output rounded to the nearest float (its two 16-bit halves
// are exact floats, so their sum rounds once), then scaled.
HWY_INLINE VB NextRandom(DB d, LaneRng& g) {
    const DBU du;
    const hn::RebindToSigned<DB> di;
    const VBU low16 = hn::Set(du, 0xFFFFu);
    g.mwcHigh = hn::ShiftLeft<16>(
        hn::Add(hn::Mul(hn::Set(du, 36969u), hn::And(g.mwcHigh, low16)), hn::ShiftRight<16>(g.mwcHigh)));
    g.mwcLow =
        hn::And(hn::Add(hn::Mul(hn::Set(du, 18000u), hn::And(g.mwcLow, low16)), hn::ShiftRight<16>(g.mwcLow)), low16);
    g.congState = hn::Add(hn::Mul(hn::Set(du, 69069u), g.congState), hn::Set(du, 1234567u));
    VBU x = g.shiftState;
    x = hn::Xor(x, hn::ShiftLeft<17>(x));
    x = hn::Xor(x, hn::ShiftRight<13>(x));
    x = hn::Xor(x, hn::ShiftLeft<5>(x));
    g.shiftState = x;
    const VBU bits = hn::Xor(hn::Add(g.mwcHigh, g.mwcLow), hn::Add(g.congState, x));
    const VB high = hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<16>(bits)));
    const VB low = hn::ConvertTo(d, hn::BitCast(di, hn::And(bits, low16)));
    const VB value = hn::Add(hn::Mul(high, hn::Set(d, 65536.0f)), low);
    return hn::Mul(value, hn::Set(d, rngOutputScale));
}

// Calls lanesAt(f, w) for every vector of the batch: f and w point at lane 0
// of the vector in field 0 of the float and word blocks.
template <class LanesAt>
HWY_INLINE void ForEachVector(const DiffuseBatch& b, LanesAt lanesAt) {
    const size_t lanes = hn::Lanes(DB());
    for (int first = 0; first < b.count; first += diffuseBlock) {
        float* f = b.at(first);
        uint32_t* w = b.wordsAt(first);
        for (size_t j = 0; j < diffuseBlock && first + static_cast<int>(j) < b.count; j += lanes) lanesAt(f + j, w + j);
    }
}

// Pass one: the diffuse factor and all four draws, up to the two angles.
void DiffuseDraws(const DiffuseBatch& b) {
    const DB d;
    const DBU du;
    ForEachVector(b, [&](float* f, uint32_t* w) {
        const auto in = [&](int field) { return hn::LoadU(d, f + field * diffuseBlock); };
        const auto out = [&](int field, VB v) { hn::StoreU(v, d, f + field * diffuseBlock); };
        const VB factor = hn::Set(d, diffuseFactor);
        out(fTr, hn::Mul(in(fTr), factor));
        out(fTg, hn::Mul(in(fTg), factor));
        out(fTb, hn::Mul(in(fTb), factor));
        LaneRng g{hn::LoadU(du, w + wMwcHigh * diffuseBlock), hn::LoadU(du, w + wMwcLow * diffuseBlock),
                  hn::LoadU(du, w + wCongState * diffuseBlock), hn::LoadU(du, w + wShiftState * diffuseBlock)};
        const VB angleWidth = hn::Set(d, angleStratumWidth), secondWidth = hn::Set(d, secondStratumWidth);
        const VB u1 = hn::Mul(hn::Add(in(fAngle0), NextRandom(d, g)), angleWidth);
        const VB u2 = hn::Mul(hn::Add(in(fSecond0), NextRandom(d, g)), secondWidth);
        const VB u3 = hn::Mul(hn::Add(in(fAngle1), NextRandom(d, g)), angleWidth);
        const VB u4 = hn::Mul(hn::Add(in(fSecond1), NextRandom(d, g)), secondWidth);
        out(fPhi, hn::Mul(hn::Set(d, twoPi), u1));
        out(fPhi2, hn::Mul(hn::Set(d, twoPiFiveFigures), u3));
        out(fU2, u2);
        out(fU4, u4);
        hn::StoreU(g.mwcHigh, du, w + wMwcHigh * diffuseBlock);
        hn::StoreU(g.mwcLow, du, w + wMwcLow * diffuseBlock);
        hn::StoreU(g.congState, du, w + wCongState * diffuseBlock);
        hn::StoreU(g.shiftState, du, w + wShiftState * diffuseBlock);
    });
}

// dot(a, b), summed x + y first.
HWY_INLINE VB Dot(VB ax, VB ay, VB az, VB bx, VB by, VB bz) {
    return hn::Add(hn::Add(hn::Mul(ax, bx), hn::Mul(ay, by)), hn::Mul(az, bz));
}

// Pass two: the shadow ray toward the light point, the light it may add, and
// the cosine-weighted bounce.
void DiffuseRays(const FrameData& fd, const DiffuseBatch& b) {
    const DB d;
    const VB one = hn::Set(d, 1.0f), two = hn::Set(d, 2.0f), zero = hn::Zero(d);
    const VB offset = hn::Set(d, surfaceOffset);
    ForEachVector(b, [&](float* f, uint32_t*) {
        const auto in = [&](int field) { return hn::LoadU(d, f + field * diffuseBlock); };
        const auto out = [&](int field, VB v) { hn::StoreU(v, d, f + field * diffuseBlock); };
        const VB t = in(fT);
        const VB px = hn::Add(in(fOx), hn::Mul(in(fDx), t));
        const VB py = hn::Add(in(fOy), hn::Mul(in(fDy), t));
        const VB pz = hn::Add(in(fOz), hn::Mul(in(fDz), t));
        const VB nx = in(fNx), ny = in(fNy), nz = in(fNz);

        // sampleLight.
        const VB u2 = in(fU2);
        const VB q = hn::Sqrt(hn::Mul(u2, hn::Sub(one, u2)));
        const VB r0 = hn::Set(d, fd.sphereRadius[0]);
        const VB twoQ = hn::Mul(two, q);
        const VB lpx = hn::Add(hn::Set(d, fd.sphereX[0]), hn::Mul(hn::Mul(twoQ, in(fCosPhi)), r0));
        const VB lpy = hn::Add(hn::Set(d, fd.sphereY[0]), hn::Mul(hn::Mul(twoQ, in(fSinPhi)), r0));
        const VB lpz = hn::Add(hn::Set(d, fd.sphereZ[0]), hn::Mul(hn::Sub(one, hn::Mul(two, u2)), r0));
        const VB lvx = hn::Sub(lpx, px), lvy = hn::Sub(lpy, py), lvz = hn::Sub(lpz, pz);
        const VB d2 = Dot(lvx, lvy, lvz, lvx, lvy, lvz);
        const VB invLength = hn::Div(one, hn::Sqrt(d2));
        const VB lx = hn::Mul(lvx, invLength), ly = hn::Mul(lvy, invLength), lz = hn::Mul(lvz, invLength);
        const VB cosLight = Dot(nx, ny, nz, lx, ly, lz);
        out(fLx, lx);
        out(fLy, ly);
        out(fLz, lz);
        out(fCosLight, cosLight);
        out(fLightDistance, hn::Sqrt(d2));
        // directLight.
        const VB weight = hn::Div(cosLight, d2);
        out(fLightR, hn::Mul(hn::Mul(in(fTr), hn::Set(d, fd.materials[0].red)), weight));
        out(fLightG, hn::Mul(hn::Mul(in(fTg), hn::Set(d, fd.materials[0].green)), weight));
        out(fLightB, hn::Mul(hn::Mul(in(fTb), hn::Set(d, fd.materials[0].blue)), weight));
        out(fShadowOx, hn::Add(px, hn::Mul(nx, offset)));
        out(fShadowOy, hn::Add(py, hn::Mul(ny, offset)));
        out(fShadowOz, hn::Add(pz, hn::Mul(nz, offset)));

        // diffuseBounce: u = cross(axis, n) with axis x or y, v = cross(u, n).
        const auto nearX = hn::Lt(hn::Abs(nx), hn::Set(d, 0.1f));
        const VB ax = hn::IfThenElse(nearX, one, zero), ay = hn::IfThenElse(nearX, zero, one), az = zero;
        VB ux = hn::Sub(hn::Mul(ay, nz), hn::Mul(az, ny));
        VB uy = hn::Sub(hn::Mul(az, nx), hn::Mul(ax, nz));
        VB uz = hn::Sub(hn::Mul(ax, ny), hn::Mul(ay, nx));
        const VB invU = hn::Div(one, hn::Sqrt(Dot(ux, uy, uz, ux, uy, uz)));
        ux = hn::Mul(ux, invU);
        uy = hn::Mul(uy, invU);
        uz = hn::Mul(uz, invU);
        const VB vx = hn::Sub(hn::Mul(uy, nz), hn::Mul(uz, ny));
        const VB vy = hn::Sub(hn::Mul(uz, nx), hn::Mul(ux, nz));
        const VB vz = hn::Sub(hn::Mul(ux, ny), hn::Mul(uy, nx));
        const VB u4 = in(fU4);
        const VB radius = hn::Sqrt(u4);
        const VB a = hn::Mul(in(fCosPhi2), radius);
        const VB c = hn::Mul(in(fSinPhi2), radius);
        const VB w = hn::Sqrt(hn::Sub(one, u4));
        const VB nextX = hn::Add(hn::Add(hn::Mul(ux, a), hn::Mul(vx, c)), hn::Mul(nx, w));
        const VB nextY = hn::Add(hn::Add(hn::Mul(uy, a), hn::Mul(vy, c)), hn::Mul(ny, w));
        const VB nextZ = hn::Add(hn::Add(hn::Mul(uz, a), hn::Mul(vz, c)), hn::Mul(nz, w));
        out(fOx, hn::Add(px, hn::Mul(nextX, offset)));
        out(fOy, hn::Add(py, hn::Mul(nextY, offset)));
        out(fOz, hn::Add(pz, hn::Mul(nextZ, offset)));
        out(fDx, nextX);
        out(fDy, nextY);
        out(fDz, nextZ);
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
HWY_AFTER_NAMESPACE();

#endif  // TPL_BATCHED_DIFFUSE_INL_H_
