// Reads of one or two neighbouring fields of per-pixel records (a pixel's
// floats, as the guide layer keeps them) for a vector of pixels, for the
// per-target loops that include it after foreach_target.

// Included once per target, as Highway's headers of per-target code are.
#if defined(TPL_RENDER_RECORD_FIELDS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_RENDER_RECORD_FIELDS_INL_H_
#undef TPL_RENDER_RECORD_FIELDS_INL_H_
#else
#define TPL_RENDER_RECORD_FIELDS_INL_H_
#endif

#include <hwy/highway.h>

#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace tpl_records {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// One field of the records that start at the float indices `at`.
template <class D>
HWY_INLINE hn::Vec<D> field(D d, const float* records, hn::Vec<hn::RebindToSigned<D>> at, int offset) {
    return hn::GatherIndex(d, records + offset, at);
}

// Two neighbouring fields of the same records, read as one 64-bit value each:
// half the gathers.
template <class D>
HWY_INLINE void fieldPair(D d, const float* records, hn::Vec<hn::RebindToSigned<D>> at, int offset, hn::Vec<D>& first,
                          hn::Vec<D>& second) {
#if HWY_TARGET == HWY_SCALAR
    first = field(d, records, at, offset);
    second = field(d, records, at, offset + 1);
#else
    const hn::RebindToSigned<D> di;
    const hn::Half<decltype(di)> dh;
    const hn::Repartition<int64_t, D> d64;
    const auto bytes = hn::ShiftLeft<2>(at);
    const int64_t* base = reinterpret_cast<const int64_t*>(records + offset);
    const auto lower = hn::BitCast(d, hn::GatherOffset(d64, base, hn::PromoteTo(d64, hn::LowerHalf(dh, bytes))));
    const auto upper = hn::BitCast(d, hn::GatherOffset(d64, base, hn::PromoteTo(d64, hn::UpperHalf(dh, bytes))));
    first = hn::ConcatEven(d, upper, lower);
    second = hn::ConcatOdd(d, upper, lower);
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_records
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
