// The clearance of every pixel's ray: how far along it the ray surely enters no solid cell of the
// interior. In a sparse world a ray crosses most of the cube through empty cells, and the free boxes
// around them are small there: the ray would look at a cell every few steps all the way. Seen from
// the eye, though, each solid cell covers only a small patch of the picture, so the rays of all other
// pixels may go straight past its distance.
//
// Each solid interior cell is projected onto the picture, and every pixel of its image keeps the
// smallest distance from the eye to any such cell, lowered a little. The image is taken row by row,
// and a pixel counts as in it when its ray passes within a small margin of it; the other pixels' rays
// pass the cell at an angle of that margin or more, far more than the walk's rounding could bridge. A
// walk's side distances are the lengths along the ray at which it crosses the cells' faces, each
// within a relative 2^-40 of the exact length, so every cell a walk enters below a pixel's clearance
// lies nearer the eye than any solid cell whose image holds the pixel, and is Empty.
//
// So the rays of the pixels in a cell's image stop at it, or at a nearer cell, within a few steps of
// their jump; all the others jump past it. Rounding the images out to whole pixels instead, or
// taking the rectangles around them, leaves rays in every tile that pass a cell by and walk on in
// small free boxes (measured: the sparse worlds' frames took up to 1.8 times as long).
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
// projecting every cell would cost more than it saves (measured).
constexpr int mostProjectedCells = 8192;

// Worlds with more than a sixth of the interior solid are crowded: rays stop within a few cells.
constexpr int interiorSide = interiorLast - interiorFirst + 1;
constexpr int crowdedCells = interiorSide * interiorSide * interiorSide / 6;

// The nearest a cell's points may come to the eye's plane (in units of the camera's direction) for
// its image to be bounded by those of its corners and edges cut at this plane.
constexpr double nearestDepth = 1.0 / 1024;

// The camera's basis inverted: the coordinates (u, v, w) of a point relative to the eye, such that
// the point is eye + u * right + v * up + w * direction; a pixel's ray reaches it when the pixel's
// (cx, cy) is (u / w, v / w). With the length of the longest pixel's ray at a unit of depth (at most
// |right| + |up| + |direction|), and the margins, in columns and in rows, within which a pixel's ray
// counts as reaching an image.
struct Projection {
    Vec3 row[3];
    double farthestRay;
    double columnMargin;
    double rowMargin;
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
    // Two rays whose (cx, cy) differ by e in cx lie at least e / |row[0]| apart at a unit of depth,
    // where they have come at most |right| + |up| + |direction| from the eye; so too in cy with
    // row[1]. The margins keep that distance, relative to the way the rays have come, above 2^-30
    // (the walk's rounding reaches 2^-40), and above 2^-8 of a pixel.
    projection.farthestRay = length(r) + length(u) + length(f);
    projection.columnMargin = std::max(0x1p-8, 0x1p-30 * length(projection.row[0]) * projection.farthestRay * rays.width / 2);
    projection.rowMargin = std::max(0x1p-8, 0x1p-30 * length(projection.row[1]) * projection.farthestRay * rays.height / 2);
    return true;
}

// v cut to low..high, as a whole number (v is not NaN).
int wholeWithin(double v, int low, int high) {
    return static_cast<int>(std::clamp(v, static_cast<double>(low), static_cast<double>(high)));
}

// Lowers to bound the clearance of the pixels of row j from column i0 to column i1 (real numbers,
// widened by the column margin, cut to the picture).
void coverRow(const FrameRays& rays, const Projection& p, int j, double i0, double i1, float bound) {
    if (!(i0 <= i1 && i0 - p.columnMargin <= rays.width - 1 && i1 + p.columnMargin >= 0)) return;
    const int columnLow = wholeWithin(std::ceil(i0 - p.columnMargin), 0, rays.width - 1);
    const int columnHigh = wholeWithin(std::floor(i1 + p.columnMargin), 0, rays.width - 1);
    float* row = clearance + j * rays.width;
    for (int i = columnLow; i <= columnHigh; ++i) row[i] = std::min(row[i], bound);
}

// The same for the rows j0 to j1 (real numbers too, widened by the row margin).
void coverPixels(const FrameRays& rays, const Projection& p, double i0, double i1, double j0, double j1, float bound) {
    if (!(j0 <= j1 && j0 - p.rowMargin <= rays.height - 1 && j1 + p.rowMargin >= 0)) return;
    const int rowLow = wholeWithin(std::ceil(j0 - p.rowMargin), 0, rays.height - 1);
    const int rowHigh = wholeWithin(std::floor(j1 + p.rowMargin), 0, rays.height - 1);
    for (int j = rowLow; j <= rowHigh; ++j) coverRow(rays, p, j, i0, i1, bound);
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
// point where the image of an edge of the cell crosses the band of the row margin around the row's
// line. The image is the convex hull of the corners' images, and its outline is
// made of the images of the edges between a face turned toward the eye and one turned away (or seen
// edge-on); the other edges are skipped.
void coverRows(const FrameRays& rays, const Projection& p, const double (&u)[8], const double (&v)[8], const double (&w)[8], int x, int y,
               int z, float bound) {
    double column[8], row[8];
    for (int k = 0; k < 8; ++k) {
        column[k] = columnAt(rays, u[k] / w[k]);
        row[k] = rowAt(rays, v[k] / w[k]);
    }
    const double top = *std::min_element(row, row + 8), bottom = *std::max_element(row, row + 8);
    const double margin = p.rowMargin;
    if (!(top - margin <= rays.height - 1 && bottom + margin >= 0)) return;
    if (!(*std::min_element(column, column + 8) - p.columnMargin <= rays.width - 1 && *std::max_element(column, column + 8) + p.columnMargin >= 0))
        return;
    const int rowLow = wholeWithin(std::ceil(top - margin), 0, rays.height - 1);
    const int rowHigh = wholeWithin(std::floor(bottom + margin), 0, rays.height - 1);
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
            const int first = wholeWithin(std::ceil(y0 - margin), rowLow, rowHigh + 1);
            const int last = wholeWithin(std::floor(y1 + margin), rowLow - 1, rowHigh);
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
                const double above = x0 + std::clamp(j - margin - y0, 0.0, y1 - y0) * slope;
                const double below = x0 + std::clamp(j + margin - y0, 0.0, y1 - y0) * slope;
                left[j] = std::min({left[j], above, below});
                right[j] = std::max({right[j], above, below});
            }
        }
    for (int j = rowLow; j <= rowHigh; ++j) coverRow(rays, p, j, left[j], right[j], bound);
}

// Lowers to bound the clearance of every pixel whose ray may reach cell (x, y, z): by rows, or, for a
// cell that reaches across the plane w = nearestDepth, in the rectangle around the images of its
// corners in front of the plane and of the points where its edges cross it.
void coverCell(const FrameRays& rays, const Projection& p, int x, int y, int z, float bound) {
    double u[8], v[8], w[8];
    bool inFront = true;
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner{x + (k & 1) - rays.position.x, y + (k >> 1 & 1) - rays.position.y, z + (k >> 2 & 1) - rays.position.z};
        u[k] = dot(p.row[0], corner);
        v[k] = dot(p.row[1], corner);
        w[k] = dot(p.row[2], corner);
        inFront = inFront && w[k] >= nearestDepth;
    }
    if (inFront) {
        coverRows(rays, p, u, v, w, x, y, z, bound);
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
    coverPixels(rays, p, columnAt(rays, cxLow), columnAt(rays, cxHigh), rowAt(rays, cyHigh), rowAt(rays, cyLow), bound);
}

// Whether the jump to the interior's last cell may pay for some ray (see shellJumpPays). Along an
// axis, either way, a ray's side distance k steps ahead is (toward + k) * delta: the eye's box ends at
// k = radius - 1 and the interior at k = ahead, in the same ratio (toward + ahead) / (toward + radius
// - 1) for every ray going that way. A ray's exit comes no later than that of the axis that ends its
// box, that ratio times the box; so where no ratio exceeds 1 / shellJumpShare (from near the middle of
// the cube), no ray's jump pays.
bool shellJumpMayPay(const FrameRays& rays) {
    const int boxAhead = eyeRadius(rays) - 1;
    for (int a = 0; a < 3; ++a) {
        const double toward[2] = {rays.towardLower[a], rays.towardUpper[a]};
        const int ahead[2] = {rays.eyeCell[a] - interiorFirst, interiorLast - rays.eyeCell[a]};
        for (int way = 0; way < 2; ++way)
            if ((toward[way] + ahead[way]) * shellJumpShare > toward[way] + boxAhead) return true;
    }
    return false;
}

}  // namespace

Clearance findClearance(const FrameRays& rays) {
    // From the shell, solid or not, the walks go on as they would.
    for (const int c : rays.eyeCell)
        if (c < interiorFirst || c > interiorLast) return Clearance::none;
    int solid = 0;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            solid += std::popcount(~emptyColumn(x, y) & interiorBits);
    if (solid == 0) return shellJumpMayPay(rays) ? Clearance::emptyInterior : Clearance::none;
    if (solid > mostProjectedCells) return solid > crowdedCells ? Clearance::crowded : Clearance::none;
    Projection projection;
    if (!invertCamera(rays, projection)) return Clearance::none;

    // A ray's points closer to the eye's plane than nearestDepth, which the projected cells leave out,
    // are nearer the eye than this: a cell that near gives the whole picture its clearance.
    const double nearestProjected = 2 * nearestDepth * projection.farthestRay;

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
                    coverPixels(rays, projection, 0, rays.width - 1, 0, rays.height - 1, bound);
                else
                    coverCell(rays, projection, x, y, z, bound);
            }
    return Clearance::perPixel;
}
