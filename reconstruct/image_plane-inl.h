// The image plane's affine map (image_plane.h's `mapped`) for a vector of
// positions, for the per-target loops that include it after foreach_target.
// Plain multiplies and adds in the scalar version's order, so every target
// maps a position as one pixel alone would.

// Included once per target, as Highway's headers of per-target code are.
#if defined(TPL_RECONSTRUCT_IMAGE_PLANE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_RECONSTRUCT_IMAGE_PLANE_INL_H_
#undef TPL_RECONSTRUCT_IMAGE_PLANE_INL_H_
#else
#define TPL_RECONSTRUCT_IMAGE_PLANE_INL_H_
#endif

#include <hwy/highway.h>

#include "reconstruct/image_plane.h"

HWY_BEFORE_NAMESPACE();
namespace tpl_plane {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class D, class V = hn::Vec<D>>
HWY_INLINE void mappedLanes(D d, const PixelMap& m, V x, V y, V& outX, V& outY) {
    outX = hn::Add(hn::Add(hn::Set(d, m.origin.x), hn::Mul(x, hn::Set(d, m.alongX.x))), hn::Mul(y, hn::Set(d, m.alongY.x)));
    outY = hn::Add(hn::Add(hn::Set(d, m.origin.y), hn::Mul(x, hn::Set(d, m.alongX.y))), hn::Mul(y, hn::Set(d, m.alongY.y)));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_plane
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
