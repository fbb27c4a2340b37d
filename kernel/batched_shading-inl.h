// The surface responses of kernel/materials.h and the primary rays of
// kernel/render_pixel.h for one vector of paths: every lane runs the scalar
// function's arithmetic in the same order (no fused multiply-adds, square roots
// and divisions correctly rounded), so every lane has the scalar bits. Lanes
// outside a step's mask keep their values and their generator. Sine and cosine
// are not here: the caller takes them per lane with the library functions.
// Compiled once per vector target through kernel/batched_kernel.cpp.
#if defined(TPL_BATCHED_SHADING_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_BATCHED_SHADING_INL_H_
#undef TPL_BATCHED_SHADING_INL_H_
#else
#define TPL_BATCHED_SHADING_INL_H_
#endif

#include <hwy/highway.h>

#include "kernel/batched_lanes.h"
#include "kernel/materials.h"
#include "kernel/render_pixel.h"
#include "kernel/rng.h"

// The lane types DF, VF and MF.
#include "kernel/batched_queries-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tpl {
namespace HWY_NAMESPACE {

using DI = hn::RebindToSigned<DF>;
using VI = hn::Vec<DI>;
using DU = hn::RebindToUnsigned<DF>;
using VU = hn::Vec<DU>;

// A Vec3 per lane.
struct V3 {
    VF x, y, z;
};

HWY_INLINE V3 Add3(V3 a, V3 b) {
    return {hn::Add(a.x, b.x), hn::Add(a.y, b.y), hn::Add(a.z, b.z)};
}
HWY_INLINE V3 Sub3(V3 a, V3 b) {
    return {hn::Sub(a.x, b.x), hn::Sub(a.y, b.y), hn::Sub(a.z, b.z)};
}
HWY_INLINE V3 Scale3(V3 a, VF s) {
    return {hn::Mul(a.x, s), hn::Mul(a.y, s), hn::Mul(a.z, s)};
}
HWY_INLINE V3 Mul3(V3 a, V3 b) {
    return {hn::Mul(a.x, b.x), hn::Mul(a.y, b.y), hn::Mul(a.z, b.z)};
}
// dot(a, b), summed x + y first.
HWY_INLINE VF Dot3(V3 a, V3 b) {
    return hn::Add(hn::Add(hn::Mul(a.x, b.x), hn::Mul(a.y, b.y)), hn::Mul(a.z, b.z));
}
HWY_INLINE V3 Select3(MF m, V3 yes, V3 no) {
    return {hn::IfThenElse(m, yes.x, no.x), hn::IfThenElse(m, yes.y, no.y), hn::IfThenElse(m, yes.z, no.z)};
}
HWY_INLINE V3 Splat3(DF d, float x, float y, float z) {
    return {hn::Set(d, x), hn::Set(d, y), hn::Set(d, z)};
}
// tracerRsqrt as the host computes it.
HWY_INLINE VF Rsqrt(DF d, VF x) {
    return hn::Div(hn::Set(d, 1.0f), hn::Sqrt(x));
}

struct LaneRng {
    VU mwcHigh, mwcLow, congState, shiftState;
};

// nextRandom in the lanes of m; the others keep their words (their value is
// not meant to be used). The output is rounded to the nearest float through
// its two 16-bit halves (exact floats, so their sum rounds once), then scaled.
HWY_INLINE VF NextRandom(DF d, MF m, LaneRng& g) {
    const DU du;
    const DI di;
    const VU low16 = hn::Set(du, 0xFFFFu);
    const VU high = hn::ShiftLeft<16>(
        hn::Add(hn::Mul(hn::Set(du, 36969u), hn::And(g.mwcHigh, low16)), hn::ShiftRight<16>(g.mwcHigh)));
    const VU low =
        hn::And(hn::Add(hn::Mul(hn::Set(du, 18000u), hn::And(g.mwcLow, low16)), hn::ShiftRight<16>(g.mwcLow)), low16);
    const VU cong = hn::Add(hn::Mul(hn::Set(du, 69069u), g.congState), hn::Set(du, 1234567u));
    VU x = g.shiftState;
    x = hn::Xor(x, hn::ShiftLeft<17>(x));
    x = hn::Xor(x, hn::ShiftRight<13>(x));
    x = hn::Xor(x, hn::ShiftLeft<5>(x));
    const auto mu = hn::RebindMask(du, m);
    g.mwcHigh = hn::IfThenElse(mu, high, g.mwcHigh);
    g.mwcLow = hn::IfThenElse(mu, low, g.mwcLow);
    g.congState = hn::IfThenElse(mu, cong, g.congState);
    g.shiftState = hn::IfThenElse(mu, x, g.shiftState);
    const VU bits = hn::Xor(hn::Add(high, low), hn::Add(cong, x));
    const VF upper = hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<16>(bits)));
    const VF lower = hn::ConvertTo(d, hn::BitCast(di, hn::And(bits, low16)));
    const VF value = hn::Add(hn::Mul(upper, hn::Set(d, 65536.0f)), lower);
    return hn::Mul(value, hn::Set(d, rngOutputScale));
}

// tintThroughput with the material colour c.
HWY_INLINE V3 Tint(DF d, V3 throughput, V3 c) {
    return Mul3(throughput, Scale3(c, hn::Set(d, 2.0f)));
}

// reflectAbout.
HWY_INLINE V3 Reflect(DF d, V3 dir, V3 n) {
    const VF twice = hn::Mul(hn::Set(d, 2.0f), Dot3(dir, n));
    return Sub3(dir, Scale3(n, twice));
}

// reflectMirror in the lanes of m.
HWY_INLINE V3 Mirror(DF d, MF m, V3 dir, V3 n, V3& throughput) {
    const V3 r = Reflect(d, dir, n);
    throughput = Select3(m, Scale3(throughput, Dot3(r, n)), throughput);
    return r;
}

// scatterGlass in the lanes of m. The glass sphere's centre and squared radius
// come per lane; choice is the stratum number (the sub-path variant only).
HWY_INLINE V3 Glass(DF d, MF m, GlassVariant variant, V3 o, V3 dir, V3 centre, VF radius2, V3 n, VF choice,
                    V3& throughput, LaneRng& g) {
    const VF one = hn::Set(d, 1.0f);
    const V3 fromCentre = Sub3(o, centre);
    const MF inside = hn::Gt(radius2, Dot3(fromCentre, fromCentre));
    const V3 nf = Select3(inside, {hn::Neg(n.x), hn::Neg(n.y), hn::Neg(n.z)}, n);
    const VF cosI = Dot3(dir, nf);
    const bool chain = variant == GlassVariant::Chain;
    const VF eta = chain ? hn::IfThenElse(inside, hn::Set(d, chainIndexLeaving), hn::Set(d, chainIndexEntering))
                         : hn::IfThenElse(inside, hn::Set(d, subPathIndexLeaving), hn::Set(d, subPathIndexEntering));
    const VF k = hn::Sub(one, hn::Mul(hn::Mul(eta, eta), hn::Sub(one, hn::Mul(cosI, cosI))));

    const VF draw = NextRandom(d, m, g);
    const VF u = chain ? draw : hn::Mul(hn::Add(choice, draw), hn::Set(d, choiceStratumWidth));
    const MF totalReflection = hn::Lt(k, hn::Zero(d));
    const V3 reflected = Reflect(d, dir, n);

    V3 t = Sub3(Scale3(dir, eta), Scale3(nf, hn::Add(hn::Mul(eta, cosI), hn::Sqrt(k))));
    t = Scale3(t, Rsqrt(d, Dot3(t, t)));
    const VF x = hn::IfThenElse(inside, hn::Sub(one, Dot3(t, n)), hn::Add(one, cosI));
    const VF x2 = hn::Mul(x, x);
    const VF re = hn::Add(hn::Set(d, fresnelAtNormal),
                          hn::Mul(hn::Set(d, 1.0f - fresnelAtNormal), hn::Mul(hn::Mul(x2, x2), x)));
    const VF pReflect = hn::Add(hn::Set(d, 0.25f), hn::Mul(hn::Set(d, 0.5f), re));
    const MF reflect = hn::Or(hn::Lt(u, pReflect), hn::Ge(pReflect, one));
    const V3 weighted = Select3(reflect, Scale3(throughput, hn::Div(re, pReflect)),
                                Scale3(throughput, hn::Div(hn::Sub(one, re), hn::Sub(one, pReflect))));
    throughput = Select3(hn::AndNot(totalReflection, m), weighted, throughput);
    return Select3(hn::Or(totalReflection, reflect), reflected, t);
}

// primaryDirection for sample numbers s, in the lanes of m: two draws.
HWY_INLINE V3 PrimaryDirection(DF d, MF m, const FrameData& fd, VF cornerU, VF cornerV, VI s, LaneRng& g) {
    const DI di;
    const VF invW = hn::Set(d, fd.invWidth);
    const VF half = hn::Set(d, 0.5f);
    const VF r1 = NextRandom(d, m, g);
    const VF r2 = NextRandom(d, m, g);
    const VF jx = hn::Mul(hn::Add(hn::ConvertTo(d, hn::And(s, hn::Set(di, 7))), r1), hn::Set(d, 0.125f));
    const VF jy = hn::Mul(hn::Add(hn::ConvertTo(d, hn::ShiftRight<3>(s)), r2), hn::Set(d, primaryRowScale));
    const VF u = hn::Sub(hn::Add(hn::Mul(invW, jx), cornerU), half);
    const VF v = hn::Sub(hn::Add(hn::Mul(invW, jy), cornerV), half);
    const V3 forward = Splat3(d, fd.camForward[0], fd.camForward[1], fd.camForward[2]);
    const V3 right = Splat3(d, fd.camRight[0], fd.camRight[1], fd.camRight[2]);
    const V3 vertical = Splat3(d, fd.camVertical[0], fd.camVertical[1], fd.camVertical[2]);
    const V3 dir = Add3(Add3(forward, Scale3(right, u)), Scale3(vertical, v));
    return Scale3(dir, Rsqrt(d, Dot3(dir, dir)));
}

// Sine and cosine of the lanes' x, as the C library's single-precision
// functions give them, where that is certain. They are evaluated in double
// precision (error near 2^-50) and rounded to float; the library's own result
// before rounding is within 0.0607 of a float step of the true value (its
// worst case, 0.5607 steps after rounding). So wherever every value within
// 1/16 of a step of ours rounds to the same float, that float is the
// library's. Lanes where it is not certain (one value in eight), and angles
// outside [2^-10, 8], are left to the caller, who asks the library.
struct SinCosLanes {
    VF cosine, sine;
    MF certain;
};

HWY_INLINE SinCosLanes TrySinCos(DF d, VF x) {
    using DD = hn::ScalableTag<double>;
    using DH = hn::Rebind<float, DD>;
    const DD dd;
    const DH dh;
    const size_t lanes = hn::Lanes(d);
    const size_t step = hn::Lanes(dd);
    alignas(64) float in[maxPathLanes], cosOut[maxPathLanes], sinOut[maxPathLanes], ok[maxPathLanes];
    hn::Store(x, d, in);
    // pi / 2 in two parts; the first has 33 bits, so n times it is exact.
    for (size_t i = 0; i < lanes; i += step) {
        const auto xd = hn::PromoteTo(dd, hn::LoadU(dh, in + i));
        const auto n = hn::Round(hn::Mul(xd, hn::Set(dd, 0.63661977236758134308)));
        const auto r = hn::Sub(hn::Sub(xd, hn::Mul(n, hn::Set(dd, 1.57079632673412561417))),
                               hn::Mul(n, hn::Set(dd, 6.07710050650619224932e-11)));
        const auto r2 = hn::Mul(r, r);
        // Taylor series to r^15 and r^16: |r| <= pi / 4 leaves terms below 2^-53.
        auto s = hn::Set(dd, -1.0 / 1307674368000.0);
        for (double c : {1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0, -1.0 / 5040.0, 1.0 / 120.0, -1.0 / 6.0})
            s = hn::MulAdd(s, r2, hn::Set(dd, c));
        s = hn::MulAdd(hn::Mul(s, r2), r, r);
        auto c = hn::Set(dd, 1.0 / 20922789888000.0);
        for (double k : {-1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0, 1.0 / 40320.0, -1.0 / 720.0,
                         1.0 / 24.0, -0.5, 1.0})
            c = hn::MulAdd(c, r2, hn::Set(dd, k));
        // Quadrant n mod 4: sin x is s, c, -s, -c and cos x is c, -s, -c, s.
        const auto q = hn::Sub(n, hn::Mul(hn::Set(dd, 4.0), hn::Floor(hn::Mul(n, hn::Set(dd, 0.25)))));
        const auto swap = hn::Or(hn::Eq(q, hn::Set(dd, 1.0)), hn::Eq(q, hn::Set(dd, 3.0)));
        const auto sinSign = hn::Ge(q, hn::Set(dd, 2.0));
        const auto cosSign = hn::Or(hn::Eq(q, hn::Set(dd, 1.0)), hn::Eq(q, hn::Set(dd, 2.0)));
        auto sinX = hn::IfThenElse(swap, c, s);
        auto cosX = hn::IfThenElse(swap, s, c);
        sinX = hn::IfThenElse(sinSign, hn::Neg(sinX), sinX);
        cosX = hn::IfThenElse(cosSign, hn::Neg(cosX), cosX);
        // Certain when y +- 1/16 of its float's step round alike.
        const hn::RebindToUnsigned<DH> du;
        const auto sure = [&](decltype(sinX) y) {
            const auto power = hn::BitCast(dh, hn::And(hn::BitCast(du, hn::DemoteTo(dh, y)), hn::Set(du, 0x7F800000u)));
            const auto margin = hn::PromoteTo(dd, hn::Mul(power, hn::Set(dh, 0x1p-27f)));
            return hn::Eq(hn::DemoteTo(dh, hn::Sub(y, margin)), hn::DemoteTo(dh, hn::Add(y, margin)));
        };
        const auto magnitude = hn::Abs(hn::LoadU(dh, in + i));
        const auto inRange = hn::And(hn::Ge(magnitude, hn::Set(dh, 0x1p-10f)), hn::Le(magnitude, hn::Set(dh, 8.0f)));
        const auto good = hn::And(inRange, hn::And(sure(sinX), sure(cosX)));
        hn::StoreU(hn::DemoteTo(dh, cosX), dh, cosOut + i);
        hn::StoreU(hn::DemoteTo(dh, sinX), dh, sinOut + i);
        hn::StoreU(hn::IfThenElseZero(good, hn::Set(dh, 1.0f)), dh, ok + i);
    }
    return {hn::Load(d, cosOut), hn::Load(d, sinOut), hn::Eq(hn::Load(d, ok), hn::Set(d, 1.0f))};
}

// shadeDiffuse up to its sines and cosines: the diffuse factor and all four
// draws (light angle, light height, bounce angle, bounce radius) in the lanes
// of m. byte0 and byte1 are the hit's sampler strata.
struct DiffuseDraws {
    VF phi, phi2, u2, u4;
};

HWY_INLINE DiffuseDraws DrawDiffuse(DF d, MF m, VI byte0, VI byte1, V3& throughput, LaneRng& g) {
    const DI di;
    const VI seven = hn::Set(di, 7);
    throughput = Select3(m, Scale3(throughput, hn::Set(d, diffuseFactor)), throughput);
    const VF angleWidth = hn::Set(d, angleStratumWidth), secondWidth = hn::Set(d, secondStratumWidth);
    const VF u1 = hn::Mul(hn::Add(hn::ConvertTo(d, hn::And(byte0, seven)), NextRandom(d, m, g)), angleWidth);
    const VF u2 = hn::Mul(hn::Add(hn::ConvertTo(d, hn::ShiftRight<3>(byte0)), NextRandom(d, m, g)), secondWidth);
    const VF u3 = hn::Mul(hn::Add(hn::ConvertTo(d, hn::And(byte1, seven)), NextRandom(d, m, g)), angleWidth);
    const VF u4 = hn::Mul(hn::Add(hn::ConvertTo(d, hn::ShiftRight<3>(byte1)), NextRandom(d, m, g)), secondWidth);
    return {hn::Mul(hn::Set(d, twoPi), u1), hn::Mul(hn::Set(d, twoPiFiveFigures), u3), u2, u4};
}

// The rest of shadeDiffuse at p with normal n, given the angles' cosines and
// sines: the shadow ray, the light it adds when clear, and the bounce.
struct DiffuseRays {
    V3 shadowOrigin, toLight;
    VF cosLight, lightDistance;
    V3 light;
    V3 next;
};

HWY_INLINE DiffuseRays DiffuseResponse(DF d, const FrameData& fd, V3 p, V3 n, V3 throughput, const DiffuseDraws& a,
                                       VF cosPhi, VF sinPhi, VF cosPhi2, VF sinPhi2) {
    const VF one = hn::Set(d, 1.0f), two = hn::Set(d, 2.0f), zero = hn::Zero(d);
    const VF offset = hn::Set(d, surfaceOffset);
    DiffuseRays out;
    // sampleLight.
    const VF q = hn::Sqrt(hn::Mul(a.u2, hn::Sub(one, a.u2)));
    const VF r0 = hn::Set(d, fd.sphereRadius[0]);
    const VF twoQ = hn::Mul(two, q);
    const V3 onLight{hn::Mul(twoQ, cosPhi), hn::Mul(twoQ, sinPhi), hn::Sub(one, hn::Mul(two, a.u2))};
    const V3 lightPoint = Add3(Splat3(d, fd.sphereX[0], fd.sphereY[0], fd.sphereZ[0]), Scale3(onLight, r0));
    const V3 lv = Sub3(lightPoint, p);
    const VF d2 = Dot3(lv, lv);
    out.toLight = Scale3(lv, Rsqrt(d, d2));
    out.cosLight = Dot3(n, out.toLight);
    out.lightDistance = hn::Sqrt(d2);
    // directLight.
    const V3 lightColour = Splat3(d, fd.materials[0].red, fd.materials[0].green, fd.materials[0].blue);
    out.light = Scale3(Mul3(throughput, lightColour), hn::Div(out.cosLight, d2));
    out.shadowOrigin = Add3(p, Scale3(n, offset));

    // diffuseBounce: u = cross(axis, n) with axis x or y, v = cross(u, n).
    const MF nearX = hn::Lt(hn::Abs(n.x), hn::Set(d, 0.1f));
    const V3 axis{hn::IfThenElse(nearX, one, zero), hn::IfThenElse(nearX, zero, one), zero};
    V3 u{hn::Sub(hn::Mul(axis.y, n.z), hn::Mul(axis.z, n.y)), hn::Sub(hn::Mul(axis.z, n.x), hn::Mul(axis.x, n.z)),
         hn::Sub(hn::Mul(axis.x, n.y), hn::Mul(axis.y, n.x))};
    u = Scale3(u, Rsqrt(d, Dot3(u, u)));
    const V3 v{hn::Sub(hn::Mul(u.y, n.z), hn::Mul(u.z, n.y)), hn::Sub(hn::Mul(u.z, n.x), hn::Mul(u.x, n.z)),
               hn::Sub(hn::Mul(u.x, n.y), hn::Mul(u.y, n.x))};
    const VF radius = hn::Sqrt(a.u4);
    out.next = Add3(Add3(Scale3(u, hn::Mul(cosPhi2, radius)), Scale3(v, hn::Mul(sinPhi2, radius))),
                    Scale3(n, hn::Sqrt(hn::Sub(one, a.u4))));
    return out;
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
HWY_AFTER_NAMESPACE();

#endif  // TPL_BATCHED_SHADING_INL_H_
