// The clearance of every pixel's ray: how far along it the ray surely enters no solid cell of the
// interior. In a sparse world a ray crosses most of the cube through empty cells, and the free boxes
// around them are small there: the ray would look at a cell every few steps all the way. Seen from
// the eye, though, each solid cell covers only a small patch of the picture, so the rays of all other
// pixels may go straight past its distance.
//
// Each solid interior cell is projected onto the picture. Every pixel of its image, rounded outward to
// whole pixels, keeps the smallest distance from the eye to any such cell, lowered a little; the
// other pixels' rays pass the cell at a pixel's width or more. A walk's side distances are the lengths
// along the ray at which it crosses the cells' faces, each within a relative 2^-40 of the exact
// length, so every cell a walk enters below a pixel's clearance lies nearer the eye than any solid
// cell whose image holds the pixel, and is Empty.
//
// The image is taken row by row for walks of one or two rays side by side. The wider vector walks take
// it as the rectangle around it: the rays of a tile wait for one another, and a ray that goes on past
// a cell beside one that stops at it gains the tile little, while the image's rows cost more to find
// (measured).
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

// Lowers to bound the clearance of the pixels of columns i0 to i1 and rows j0 to j1 (real numbers,
// rounded outward to whole pixels and cut to the picture).
void coverPixels(const FrameRays& rays, double i0, double i1, double j0, double j1, float bound) {
    const double W = rays.width, H = rays.height;
    if (!(i0 <= i1 && j0 <= j1 && i0 < W && i1 > -1 && j0 < H && j1 > -1)) return;
    const int columnLow = static_cast<int>(std::max(std::floor(i0), 0.0)), columnHigh = static_cast<int>(std::min(std::ceil(i1), W - 1));
    const int rowLow = static_cast<int>(std::max(std::floor(j0), 0.0)), rowHigh = static_cast<int>(std::min(std::ceil(j1), H - 1));
    for (int j = rowLow; j <= rowHigh; ++j) {
        float* row = clearance + j * rays.width;
        for (int i = columnLow; i <= columnHigh; ++i) row[i] = std::min(row[i], bound);
    }
}

// v cut to low..high, as a whole number (v is finite).
int wholeWithin(double v, int low, int high) {
    return static_cast<int>(std::clamp(v, static_cast<double>(low), static_cast<double>(high)));
}

// Picture positions, in pixels: column i's ray has cx = (2 i - W) / W, row j's cy = (H - 2 - 2 j) / H.
double columnAt(const FrameRays& rays, double cx) {
    return (cx + 1) * rays.width / 2;
}
double rowAt(const FrameRays& rays, double cy) {
    return (rays.height - 2 - cy * rays.height) / 2;
}

// Lowers to bound the clearance of the pixels of the image of cell (x, y, z), all of whose corners lie
// in front of the plane w = nearestDepth, row by row: in each row, from the leftmost to the rightmost
// point where the image of an edge of the cell crosses the row's line (an edge's ends count for the
// rows within 2^-20 of them). The image is the convex hull of the corners' images, and its outline is
// made of the images of the edges between a face turned toward the eye and one turned away (or seen
// edge-on); the other edges are skipped.
void coverRows(const FrameRays& rays, const double (&u)[8], const double (&v)[8], const double (&w)[8], int x, int y, int z, float bound) {
    double column[8], row[8];
    for (int k = 0; k < 8; ++k) {
        column[k] = columnAt(rays, u[k] / w[k]);
        row[k] = rowAt(rays, v[k] / w[k]);
    }
    const double top = *std::min_element(row, row + 8), bottom = *std::max_element(row, row + 8);
    if (!(top - 0x1p-20 <= rays.height - 1 && bottom + 0x1p-20 >= 0)) return;
    const int rowLow = wholeWithin(std::ceil(top - 0x1p-20), 0, rays.height - 1);
    const int rowHigh = wholeWithin(std::floor(bottom + 0x1p-20), 0, rays.height - 1);
    double left[maxPictureHeight], right[maxPictureHeight];
    std::fill(left + rowLow, left + rowHigh + 1, INFINITY);
    std::fill(right + rowLow, right + rowHigh + 1, -INFINITY);
    // Which side of each face the eye is on: +1 outside (the face is turned toward it), -1 inside, 0
    // in its plane or within 2^-20 of it.
    const double eye[3] = {rays.position.x, rays.position.y, rays.position.z};
    const int low[3] = {x, y, z};
    int facing[3][2];
    for (int b = 0; b < 3; ++b) {
        const double below = low[b] - eye[b], above = eye[b] - (low[b] + 1);
        facing[b][0] = below > 0x1p-20 ? 1 : below < -0x1p-20 ? -1 : 0;
        facing[b][1] = above > 0x1p-20 ? 1 : above < -0x1p-20 ? -1 : 0;
    }
    for (int k = 0; k < 8; ++k)
        for (int a = 0; a < 3; ++a) {
            const int n = k | 1 << a;  // the other end of the edge along axis a
            if (n == k) continue;
            const int one = facing[(a + 1) % 3][k >> (a + 1) % 3 & 1], other = facing[(a + 2) % 3][k >> (a + 2) % 3 & 1];
            if (one == other && one != 0) continue;
            const bool down = row[k] <= row[n];
            const double y0 = down ? row[k] : row[n], y1 = down ? row[n] : row[k];
            const double x0 = down ? column[k] : column[n], x1 = down ? column[n] : column[k];
            const int first = wholeWithin(std::ceil(y0 - 0x1p-20), rowLow, rowHigh + 1);
            const int last = wholeWithin(std::floor(y1 + 0x1p-20), rowLow - 1, rowHigh);
            if (first > last) continue;
            if (!(y1 - y0 > 0x1p-20)) {  // level: the whole edge in its rows
                for (const int j : {first, last}) {
                    left[j] = std::min({left[j], x0, x1});
                    right[j] = std::max({right[j], x0, x1});
                }
                continue;
            }
            const double slope = (x1 - x0) / (y1 - y0);
            for (int j = first; j <= last; ++j) {
                const double at = x0 + std::clamp(j - y0, 0.0, y1 - y0) * slope;
                left[j] = std::min(left[j], at);
                right[j] = std::max(right[j], at);
            }
        }
    for (int j = rowLow; j <= rowHigh; ++j) coverPixels(rays, left[j], right[j], j, j, bound);
}

// Lowers to bound the clearance of every pixel whose ray may reach cell (x, y, z): by rows, or in the
// rectangle around the image of its corners and of the points where its edges cross the plane
// w = nearestDepth, rounded outward to whole pixels (the projection's rounding errors are far below a
// pixel). A cell that reaches across that plane always takes its rectangle.
void coverCell(const FrameRays& rays, const Projection& p, int x, int y, int z, float bound, bool byRows) {
    double u[8], v[8], w[8];
    bool inFront = true;
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner{x + (k & 1) - rays.position.x, y + (k >> 1 & 1) - rays.position.y, z + (k >> 2 & 1) - rays.position.z};
        u[k] = dot(p.row[0], corner);
        v[k] = dot(p.row[1], corner);
        w[k] = dot(p.row[2], corner);
        inFront = inFront && w[k] >= nearestDepth;
    }
    if (byRows && inFront) {
        coverRows(rays, u, v, w, x, y, z, bound);
        return;
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
    // Nothing is included when the cell lies wholly behind the plane.
    coverPixels(rays, columnAt(rays, cxLow), columnAt(rays, cxHigh), rowAt(rays, cyHigh), rowAt(rays, cyLow), bound);
}

}  // namespace

bool findClearance(const FrameRays& rays, bool byRows) {
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
                if (nearest < nearestProjected)
                    coverPixels(rays, 0, rays.width - 1, 0, rays.height - 1, bound);
                else
                    coverCell(rays, projection, x, y, z, bound, byRows);
            }
    return true;
}
