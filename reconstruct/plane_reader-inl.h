// Reads of a plane of floats at a vector of pixel indices, for the per-target
// loops that include it after foreach_target. Neighbouring pixels of a frame
// mostly reproject to neighbouring pixels of the last one, so the indices
// mostly lie within two vectors of the first lane's: two loads and a lane
// permutation each then stand in for a gather (the same values, far faster).

// Included once per target, as Highway's headers of per-target code are.
#if defined(TPL_RECONSTRUCT_PLANE_READER_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TPL_RECONSTRUCT_PLANE_READER_INL_H_
#undef TPL_RECONSTRUCT_PLANE_READER_INL_H_
#else
#define TPL_RECONSTRUCT_PLANE_READER_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>
#include <cstdint>

HWY_BEFORE_NAMESPACE();
namespace tpl_plane {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class D>
struct PlaneReader {
    using DI = hn::RebindToSigned<D>;
    hn::Vec<DI> index;
    bool near;
    size_t first;        // the first lane's index, where near
    hn::Vec<DI> local;   // index - first, modulo the lanes
    hn::Mask<D> upper;   // lanes whose index lies in the second vector
};

// A reader of the lanes' indices into planes of `size` floats (every index
// within them).
template <class D>
HWY_INLINE PlaneReader<D> planeReader(D d, hn::Vec<hn::RebindToSigned<D>> index, size_t size) {
    const hn::RebindToSigned<D> di;
    const size_t lanes = hn::Lanes(d);
    PlaneReader<D> r;
    r.index = index;
    const int32_t first = hn::GetLane(index);
    const auto local = hn::Sub(index, hn::Set(di, first));
    r.near = first >= 0 && static_cast<size_t>(first) + 2 * lanes <= size &&
             hn::AllTrue(di, hn::And(hn::Gt(local, hn::Set(di, -1)), hn::Lt(local, hn::Set(di, static_cast<int32_t>(2 * lanes)))));
    r.first = r.near ? static_cast<size_t>(first) : 0;
    r.local = hn::And(local, hn::Set(di, static_cast<int32_t>(lanes - 1)));
    r.upper = hn::RebindMask(d, hn::Gt(local, hn::Set(di, static_cast<int32_t>(lanes - 1))));
    return r;
}

template <class D>
HWY_INLINE hn::Vec<D> read(D d, const PlaneReader<D>& r, const float* plane) {
    if (!r.near) return hn::GatherIndex(d, plane, r.index);
    const auto at = hn::IndicesFromVec(d, r.local);
    const size_t lanes = hn::Lanes(d);
    return hn::IfThenElse(r.upper, hn::TableLookupLanes(hn::LoadU(d, plane + r.first + lanes), at),
                          hn::TableLookupLanes(hn::LoadU(d, plane + r.first), at));
}

}  // namespace HWY_NAMESPACE
}  // namespace tpl_plane
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
