// The lanes first, first + 1, ..., for the per-target loops that include it
// after foreach_target. Highway's Iota writes its lanes to memory one by one
// and loads them as one vector, which the processor cannot forward from the
// stores: in a loop over a row it stalled on every vector (an eighth of the
// history's accumulation). Here the counting lanes are one constant, loaded
// once, plus the first.

// Included once per target, as Highway's headers of per-target code are.
#if defined(TPL_RENDER_COUNTING_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_RENDER_COUNTING_INL_H_
#undef TPL_RENDER_COUNTING_INL_H_
#else
#define TPL_RENDER_COUNTING_INL_H_
#endif

#include <hwy/highway.h>

#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace tpl_plane {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class T>
struct CountingLanes {
    static_assert(HWY_MAX_BYTES / sizeof(T) <= 16, "a vector's lanes are counted");
    alignas(64) static constexpr T values[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
};

// The same lanes as hn::Iota(d, first).
template <class D>
HWY_INLINE hn::Vec<D> countingFrom(D d, hn::TFromD<D> first) {
    return hn::Add(hn::Load(d, CountingLanes<hn::TFromD<D>>::values), hn::Set(d, first));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_plane
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
