// Rows of pixels mapped in vector lanes: one source built for every instruction set the program
// dispatches to. The last partial vector of a row is mapped one pixel at a time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "shell/pixel_mapping.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "shell/pixel_mapping.h"

HWY_BEFORE_NAMESPACE();
namespace cellvane::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D32 = hn::ScalableTag<std::uint32_t>;

// mapDirect, lane by lane.
HWY_INLINE hn::Vec<D32> mapLanes(const DirectMapping& m, hn::Vec<D32> rgb) {
    const D32 d;
    const auto byte = hn::Set(d, 0xFF);
    const auto r = hn::And(hn::ShiftRight<16>(rgb), byte);
    const auto g = hn::And(hn::ShiftRight<8>(rgb), byte);
    const auto b = hn::And(rgb, byte);
    const auto red = hn::ShiftLeftSame(hn::ShiftRightSame(r, m.redLoss), m.redShift);
    const auto green = hn::ShiftLeftSame(hn::ShiftRightSame(g, m.greenLoss), m.greenShift);
    const auto blue = hn::ShiftLeftSame(hn::ShiftRightSame(b, m.blueLoss), m.blueShift);
    return hn::Or(hn::Or(red, green), hn::Or(blue, hn::Set(d, m.always)));
}

void MapRow32(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint32_t* pixels) {
    const D32 d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    int i = 0;
    for (; i + lanes <= count; i += lanes) hn::StoreU(mapLanes(m, hn::LoadU(d, rgb + i)), d, pixels + i);
    for (; i < count; ++i) pixels[i] = mapDirect(m, rgb[i]);
}

void MapRow16(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint16_t* pixels) {
    const D32 d;
    const hn::Rebind<std::uint16_t, D32> d16;
    const int lanes = static_cast<int>(hn::Lanes(d));
    int i = 0;
    for (; i + lanes <= count; i += lanes) hn::StoreU(hn::TruncateTo(d16, mapLanes(m, hn::LoadU(d, rgb + i))), d16, pixels + i);
    for (; i < count; ++i) pixels[i] = static_cast<std::uint16_t>(mapDirect(m, rgb[i]));
}

}  // namespace cellvane::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace cellvane {
HWY_EXPORT(MapRow32);
HWY_EXPORT(MapRow16);
}  // namespace cellvane

void mapRow32(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint32_t* pixels) {
    HWY_DYNAMIC_DISPATCH(cellvane::MapRow32)(m, rgb, count, pixels);
}

void mapRow16(const DirectMapping& m, const std::uint32_t* rgb, int count, std::uint16_t* pixels) {
    HWY_DYNAMIC_DISPATCH(cellvane::MapRow16)(m, rgb, count, pixels);
}
#endif
