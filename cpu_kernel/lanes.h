#pragma once
// The tracer's number type for the CPU's vector kernel: a vector of float
// lanes (LaneF) with its masks and 32-bit integers, giving the functions the
// tracer's one source calls (kernel/tracer_math.h) the arithmetic of the
// one-path code lane by lane: no fused multiply-adds, square roots and
// divisions correctly rounded, comparisons that treat NaN alike. So every
// lane gets exactly the bits one path gets.
//
// Included by the per-target sources only (simd_target.h), each compiled
// with its vector target's instruction set: the tracer's templates are
// defined outside any target region, so they take the target of the whole
// source they are compiled in.
#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>

#include "kernel/tracer_math.h"

namespace tpl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;
using MF = hn::Mask<DF>;

// Float lanes of the widest vector any target has (512 bits).
constexpr size_t maxLanes = 16;
static_assert(HWY_MAX_BYTES / sizeof(float) <= maxLanes, "lane arrays hold the widest vector");

struct LaneI;
struct LaneU;

struct LaneM {
    MF m;
    LaneM() = default;
    explicit LaneM(MF v) : m(v) {}
    LaneM(bool all) : m(hn::FirstN(DF(), all ? hn::Lanes(DF()) : 0)) {}
};

struct LaneF {
    using Mask = LaneM;
    using Int = LaneI;
    using UInt = LaneU;
    VF v;
    LaneF() = default;
    explicit LaneF(VF x) : v(x) {}
    LaneF(float x) : v(hn::Set(DF(), x)) {}
};

struct LaneI {
    VI v;
    LaneI() = default;
    explicit LaneI(VI x) : v(x) {}
    LaneI(int32_t x) : v(hn::Set(DI(), x)) {}
};

struct LaneU {
    VU v;
    LaneU() = default;
    explicit LaneU(VU x) : v(x) {}
    LaneU(uint32_t x) : v(hn::Set(DU(), x)) {}
};

HWY_INLINE LaneM operator&&(LaneM a, LaneM b) {
    return LaneM(hn::And(a.m, b.m));
}
HWY_INLINE LaneM operator||(LaneM a, LaneM b) {
    return LaneM(hn::Or(a.m, b.m));
}
HWY_INLINE LaneM operator!(LaneM a) {
    return LaneM(hn::Not(a.m));
}
HWY_INLINE bool anyOf(LaneM a) {
    return !hn::AllFalse(DF(), a.m);
}
HWY_INLINE bool allOf(LaneM a) {
    return hn::AllTrue(DF(), a.m);
}

HWY_INLINE LaneF operator+(LaneF a, LaneF b) {
    return LaneF(hn::Add(a.v, b.v));
}
HWY_INLINE LaneF operator-(LaneF a, LaneF b) {
    return LaneF(hn::Sub(a.v, b.v));
}
HWY_INLINE LaneF operator*(LaneF a, LaneF b) {
    return LaneF(hn::Mul(a.v, b.v));
}
HWY_INLINE LaneF operator/(LaneF a, LaneF b) {
    return LaneF(hn::Div(a.v, b.v));
}
HWY_INLINE LaneF operator-(LaneF a) {
    return LaneF(hn::Neg(a.v));
}
HWY_INLINE LaneM operator<(LaneF a, LaneF b) {
    return LaneM(hn::Lt(a.v, b.v));
}
HWY_INLINE LaneM operator>(LaneF a, LaneF b) {
    return LaneM(hn::Gt(a.v, b.v));
}
HWY_INLINE LaneM operator<=(LaneF a, LaneF b) {
    return LaneM(hn::Le(a.v, b.v));
}
HWY_INLINE LaneM operator>=(LaneF a, LaneF b) {
    return LaneM(hn::Ge(a.v, b.v));
}
HWY_INLINE LaneM operator==(LaneF a, LaneF b) {
    return LaneM(hn::Eq(a.v, b.v));
}
HWY_INLINE LaneM operator!=(LaneF a, LaneF b) {
    return LaneM(hn::Ne(a.v, b.v));
}

HWY_INLINE LaneI operator+(LaneI a, LaneI b) {
    return LaneI(hn::Add(a.v, b.v));
}
HWY_INLINE LaneI operator-(LaneI a, LaneI b) {
    return LaneI(hn::Sub(a.v, b.v));
}
HWY_INLINE LaneI operator*(LaneI a, LaneI b) {
    return LaneI(hn::Mul(a.v, b.v));
}
HWY_INLINE LaneI operator&(LaneI a, LaneI b) {
    return LaneI(hn::And(a.v, b.v));
}
HWY_INLINE LaneI operator>>(LaneI a, int bits) {
    return LaneI(hn::ShiftRightSame(a.v, bits));
}
HWY_INLINE LaneM operator==(LaneI a, LaneI b) {
    return LaneM(hn::RebindMask(DF(), hn::Eq(a.v, b.v)));
}
HWY_INLINE LaneM operator!=(LaneI a, LaneI b) {
    return LaneM(hn::RebindMask(DF(), hn::Ne(a.v, b.v)));
}
HWY_INLINE LaneM operator<(LaneI a, LaneI b) {
    return LaneM(hn::RebindMask(DF(), hn::Lt(a.v, b.v)));
}
HWY_INLINE LaneM operator>(LaneI a, LaneI b) {
    return LaneM(hn::RebindMask(DF(), hn::Gt(a.v, b.v)));
}

HWY_INLINE LaneU operator+(LaneU a, LaneU b) {
    return LaneU(hn::Add(a.v, b.v));
}
HWY_INLINE LaneU operator*(LaneU a, LaneU b) {
    return LaneU(hn::Mul(a.v, b.v));
}
HWY_INLINE LaneU operator&(LaneU a, LaneU b) {
    return LaneU(hn::And(a.v, b.v));
}
HWY_INLINE LaneU operator^(LaneU a, LaneU b) {
    return LaneU(hn::Xor(a.v, b.v));
}
HWY_INLINE LaneU operator>>(LaneU a, int bits) {
    return LaneU(hn::ShiftRightSame(a.v, bits));
}
HWY_INLINE LaneU operator<<(LaneU a, int bits) {
    return LaneU(hn::ShiftLeftSame(a.v, bits));
}

HWY_INLINE LaneF select(LaneM m, LaneF yes, LaneF no) {
    return LaneF(hn::IfThenElse(m.m, yes.v, no.v));
}
HWY_INLINE LaneI select(LaneM m, LaneI yes, LaneI no) {
    return LaneI(hn::IfThenElse(hn::RebindMask(DI(), m.m), yes.v, no.v));
}
HWY_INLINE LaneU select(LaneM m, LaneU yes, LaneU no) {
    return LaneU(hn::IfThenElse(hn::RebindMask(DU(), m.m), yes.v, no.v));
}
HWY_INLINE LaneM select(LaneM m, LaneM yes, LaneM no) {
    return LaneM(hn::Or(hn::And(m.m, yes.m), hn::AndNot(m.m, no.m)));
}
// Writes value into target in the lanes of m; the others keep theirs.
template <class T>
HWY_INLINE void assign(LaneM m, T& target, const T& value) {
    target = select(m, value, target);
}

HWY_INLINE LaneF minOf(LaneF a, LaneF b) {
    return LaneF(hn::IfThenElse(hn::Lt(a.v, b.v), a.v, b.v));
}
HWY_INLINE LaneF maxOf(LaneF a, LaneF b) {
    return LaneF(hn::IfThenElse(hn::Gt(a.v, b.v), a.v, b.v));
}
HWY_INLINE LaneF absOf(LaneF a) {
    return LaneF(hn::IfThenElse(hn::Lt(a.v, hn::Zero(DF())), hn::Neg(a.v), a.v));
}
HWY_INLINE LaneF tracerSqrt(LaneF x) {
    return LaneF(hn::Sqrt(x.v));
}
HWY_INLINE LaneF tracerRsqrt(LaneF x) {
    return LaneF(hn::Div(hn::Set(DF(), 1.0f), hn::Sqrt(x.v)));
}
HWY_INLINE LaneF tracerRcp(LaneF x) {
    return LaneF(hn::Div(hn::Set(DF(), 1.0f), x.v));
}
HWY_INLINE LaneF tracerDiv(LaneF a, LaneF b) {
    return LaneF(hn::Div(a.v, b.v));
}

HWY_INLINE LaneF toFloat(LaneI v) {
    return LaneF(hn::ConvertTo(DF(), v.v));
}
// Rounded to the nearest float as one conversion would: the two 16-bit
// halves are exact floats, so their sum rounds once.
HWY_INLINE LaneF toFloat(LaneU v) {
    const DF d;
    const DI di;
    const VU low16 = hn::Set(DU(), 0xFFFFu);
    const VF upper = hn::ConvertTo(d, hn::BitCast(di, hn::ShiftRight<16>(v.v)));
    const VF lower = hn::ConvertTo(d, hn::BitCast(di, hn::And(v.v, low16)));
    return LaneF(hn::Add(hn::Mul(upper, hn::Set(d, 65536.0f)), lower));
}

// Lanes whose index is not meant to be read must still hold a valid one.
HWY_INLINE LaneF gather(const float* array, LaneI i) {
    return LaneF(hn::GatherIndex(DF(), array, i.v));
}
HWY_INLINE LaneI gather(const int32_t* array, LaneI i) {
    return LaneI(hn::GatherIndex(DI(), array, i.v));
}

// Sine and cosine of the lanes' x, as the C library's single-precision
// functions give them, where that is certain. They are evaluated in double
// precision (error near 2^-50) and rounded to float; the library's own result
// before rounding is within 0.0607 of a float step of the true value (its
// worst case, 0.5607 steps after rounding). So wherever every value within
// 1/16 of a step of ours rounds to the same float, that float is the
// library's. Lanes where it is not certain (one value in eight), and angles
// outside [2^-10, 8], are left to the caller.
struct VouchedCosSin {
    LaneF cosine, sine;
    LaneM certain;
};

HWY_INLINE VouchedCosSin vouchedCosSin(LaneF angle) {
    using DD = hn::ScalableTag<double>;
    using DH = hn::Rebind<float, DD>;
    const DF d;
    const DD dd;
    const DH dh;
    const size_t lanes = hn::Lanes(d);
    const size_t step = hn::Lanes(dd);
    alignas(64) float in[maxLanes], cosOut[maxLanes], sinOut[maxLanes], ok[maxLanes];
    hn::Store(angle.v, d, in);
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
    return {LaneF(hn::Load(d, cosOut)), LaneF(hn::Load(d, sinOut)), LaneM(hn::Eq(hn::Load(d, ok), hn::Set(d, 1.0f)))};
}

// The library's sine and cosine in the lanes of active: vouched vector
// values, and the library itself, lane by lane, where they are not certain.
HWY_INLINE void tracerCosSin(LaneF angle, LaneF& cosine, LaneF& sine, LaneM active) {
    const VouchedCosSin v = vouchedCosSin(angle);
    cosine = v.cosine;
    sine = v.sine;
    const LaneM uncertain = active && !v.certain;
    if (!anyOf(uncertain)) return;
    const DF d;
    alignas(64) float x[maxLanes], c[maxLanes], s[maxLanes];
    static_assert(maxLanes <= 16, "the lanes' mask bits fit two bytes");
    uint8_t bytes[8] = {};
    hn::Store(angle.v, d, x);
    hn::Store(cosine.v, d, c);
    hn::Store(sine.v, d, s);
    hn::StoreMaskBits(d, uncertain.m, bytes);
    // Only the uncertain lanes, lowest first: a lane test per lane would be
    // a branch the predictor cannot learn.
    for (uint32_t left = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8; left != 0; left &= left - 1) {
        const int lane = __builtin_ctz(left);
        ::tracerCosSin(x[lane], c[lane], s[lane]);
    }
    cosine = LaneF(hn::Load(d, c));
    sine = LaneF(hn::Load(d, s));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl
