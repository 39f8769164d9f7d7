// The clearance of every pixel's ray: how far along it the ray surely enters no solid cell of the
// interior. In a sparse world a ray crosses most of the cube through empty cells, and the free boxes
// around them are small there: the ray would look at a cell every few steps all the way. Seen from
// the eye, though, each solid cell covers only a small patch of the picture, so the rays of all other
// pixels may go straight past its distance.
//
// Each solid interior cell is projected onto the picture. Every pixel in the rectangle around its
// image, each side rounded outward to a whole pixel, keeps the smallest distance from the eye to any
// such cell, lowered a little; the other pixels' rays pass the cell at a pixel's width or more. A walk's side distances are the lengths
// along the ray at which it crosses the cells' faces, each within a relative 2^-40 of the exact
// length, so every cell a walk enters below a pixel's clearance lies nearer the eye than any solid cell
// of that pixel's rectangles, and is Empty.
#include "render/ray_walk.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

float clearance[maxPictureWidth * maxPictureHeight + maxRayLanes];

namespace {

// The interior's cells of a column word: bits 1 to 62.
constexpr std::uint64_t interiorBits = ~std::uint64_t{0} << interiorFirst & ~std::uint64_t{0} >> (63 - interiorLast);

// Worlds with more solid interior cells than this get no clearance: their rays stop soon anyway, and
// projecting every cell would cost more than it saves (measured). Nor does an empty interior, where the
// free boxes reach the shell from anywhere.
constexpr int mostProjectedCells = 8192;

// The nearest a cell's points may come to the eye's plane (in units of the camera's direction) for
// its image to be bounded by those of its corners and edges cut at this plane.
constexpr double nearestDepth = 1.0 / 1024;

// The camera's basis inverted: the coordinates (u, v, w) of a point relative to the eye, such that
// the point is eye + u * right + v * up + w * direction; a pixel's ray reaches it when the pixel's
// (cx, cy) is (u / w, v / w).
struct Projection {
    Vec3 row[3];
};

double dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// False when the camera's vectors are not finite or nearly dependent: no picture position can be
// worked out then.
bool invertCamera(const FrameRays& rays, Projection& projection) {
    const Vec3& r = rays.right;
    const Vec3& u = rays.up;
    const Vec3& f = rays.direction;
    for (const Vec3& v : {r, u, f})
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
    const Vec3 upCrossDirection = cross(u, f);
    const double det = dot(r, upCrossDirection);
    if (!(std::fabs(det) > 1e-6 * length(r) * length(u) * length(f))) return false;
    projection.row[0] = upCrossDirection;
    projection.row[1] = cross(f, r);
    projection.row[2] = cross(r, u);
    for (Vec3& v : projection.row) v = {v.x / det, v.y / det, v.z / det};
    return true;
}

// The picture's rectangle of pixels, inclusive.
struct PixelRect {
    int i0, i1, j0, j1;
};

// The rectangle of pixels whose rays may reach cell (x, y, z): the image of its corners, and of the
// points where its edges cross the plane w = nearestDepth, rounded outward to whole pixels (the
// rounding errors of the projection are far below a pixel) and cut to the picture. Empty (i0 > i1 or
// j0 > j1) when no ray reaches the cell.
PixelRect coveredPixels(const FrameRays& rays, const Projection& p, int x, int y, int z) {
    double u[8], v[8], w[8];
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner{x + (k & 1) - rays.position.x, y + (k >> 1 & 1) - rays.position.y, z + (k >> 2 & 1) - rays.position.z};
        u[k] = dot(p.row[0], corner);
        v[k] = dot(p.row[1], corner);
        w[k] = dot(p.row[2], corner);
    }
    double cxLow = INFINITY, cxHigh = -INFINITY, cyLow = INFINITY, cyHigh = -INFINITY;
    auto include = [&](double pu, double pv, double pw) {
        cxLow = std::min(cxLow, pu / pw);
        cxHigh = std::max(cxHigh, pu / pw);
        cyLow = std::min(cyLow, pv / pw);
        cyHigh = std::max(cyHigh, pv / pw);
    };
    for (int k = 0; k < 8; ++k) {
        if (w[k] >= nearestDepth) include(u[k], v[k], w[k]);
        for (int a = 0; a < 3; ++a) {
            const int n = k | 1 << a;  // the other end of the edge along axis a
            if (n == k) continue;
            if ((w[k] < nearestDepth) != (w[n] < nearestDepth)) {
                const double t = (nearestDepth - w[k]) / (w[n] - w[k]);
                include(u[k] + t * (u[n] - u[k]), v[k] + t * (v[n] - v[k]), nearestDepth);
            }
        }
    }
    if (!(cxLow <= cxHigh && cyLow <= cyHigh)) return {0, -1, 0, -1};  // wholly behind the plane
    // Column i's ray has cx = (2 i - W) / W, row j's cy = (H - 2 - 2 j) / H.
    const double W = rays.width, H = rays.height;
    const double iLow = std::floor((cxLow + 1) * W / 2), iHigh = std::ceil((cxHigh + 1) * W / 2);
    const double jLow = std::floor((H - 2 - cyHigh * H) / 2), jHigh = std::ceil((H - 2 - cyLow * H) / 2);
    if (!(iLow <= W && iHigh >= 0 && jLow <= H && jHigh >= 0)) return {0, -1, 0, -1};
    return {static_cast<int>(std::max(iLow, 0.0)), static_cast<int>(std::min(iHigh, W - 1)), static_cast<int>(std::max(jLow, 0.0)),
            static_cast<int>(std::min(jHigh, H - 1))};
}

}  // namespace

bool findClearance(const FrameRays& rays) {
    // From the shell, solid or not, the walks go on as they would.
    for (const int c : rays.eyeCell)
        if (c < interiorFirst || c > interiorLast) return false;
    Projection projection;
    if (!invertCamera(rays, projection)) return false;
    int solid = 0;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            solid += std::popcount(~emptyColumn(x, y) & interiorBits);
    if (solid == 0 || solid > mostProjectedCells) return false;

    // A ray's points closer to the eye's plane than nearestDepth, which the projected cells leave out,
    // are nearer the eye than this: a cell that near gives the whole picture its clearance.
    const double farthestRay = length(rays.right) + length(rays.up) + length(rays.direction);
    const double nearestProjected = 2 * nearestDepth * farthestRay;

    std::fill(clearance, clearance + rays.width * rays.height, INFINITY);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (std::uint64_t cells = ~emptyColumn(x, y) & interiorBits; cells != 0; cells &= cells - 1) {
                const int z = std::countr_zero(cells);
                // The distance from the eye to the nearest point of the cell, lowered by far more than
                // it and the side distances can be off.
                const Vec3& e = rays.position;
                const double gap[3] = {std::max({x - e.x, e.x - (x + 1), 0.0}), std::max({y - e.y, e.y - (y + 1), 0.0}),
                                       std::max({z - e.z, e.z - (z + 1), 0.0})};
                const double nearest = std::sqrt(gap[0] * gap[0] + gap[1] * gap[1] + gap[2] * gap[2]) * (1 - 0x1p-30) - 0x1p-30;
                float bound = static_cast<float>(nearest);
                if (bound > nearest) bound = std::nextafter(bound, -INFINITY);
                const PixelRect rect = nearest < nearestProjected ? PixelRect{0, rays.width - 1, 0, rays.height - 1}
                                                                  : coveredPixels(rays, projection, x, y, z);

                for (int j = rect.j0; j <= rect.j1; ++j) {
                    float* row = clearance + j * rays.width;
                    for (int i = rect.i0; i <= rect.i1; ++i) row[i] = std::min(row[i], bound);
                }
            }
    return true;
}
