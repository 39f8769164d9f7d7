#include "render/raycaster.h"

#include "camera/camera.h"
#include "render/ray_walk.h"
#include "shell/screen.h"
#include "world/grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

int hitFace = 0;

namespace {

// Per-frame tables, sized for the largest picture; written at the start of every frame.
double columnCx[maxPictureWidth + maxRayLanes];
double rowCy[maxPictureHeight];
std::uint32_t columnCaptionRed[maxPictureWidth + maxRayLanes];
std::uint8_t rowRampBlue[maxPictureHeight];
std::uint32_t pictureRgb[maxPictureWidth * maxPictureHeight];

void nudgeOffCellBoundary(double& coordinate) {
    if (coordinate - std::trunc(coordinate) == 0) coordinate += 0.01;
}

// Length of ray between two boundaries of the axis with component da; the other two are db and dc.
// A zero component never reaches a boundary (tested first: the formula would give 0/0 there).
double deltaDistance(double da, double db, double dc) {
    if (da == 0) return INFINITY;
    return std::sqrt(db * db / (da * da) + 1 + dc * dc / (da * da));
}

struct Axis {
    int map;
    int step;
    double delta;
    double side;
};

// One step along the axis where taken, none elsewhere, by selects rather than a branch: adding 0
// leaves a side distance as it was.
void stepIf(Axis& axis, bool taken) {
    axis.side += taken ? axis.delta : 0.0;
    axis.map += taken ? axis.step : 0;
}

Axis setUpAxis(const FrameRays& rays, int a, double da, double db, double dc) {
    const double delta = deltaDistance(da, db, dc);
    if (da < 0) return {rays.eyeCell[a], -1, delta, delta * rays.towardLower[a]};
    return {rays.eyeCell[a], +1, delta, delta * rays.towardUpper[a]};
}

// The largest reach whose jump (up to reach - 1 turns) walkOneRay takes turn by turn: measured
// fastest.
constexpr int shortJump = 4;

bool insideGrid(int index) {
    return index >= 0 && index < gridSize;
}

// The ordinary step, as the plain walk chooses its axis, by selects on every axis: measured faster
// than branches, which no processor foresees here. Returns its face.
int takeStep(Axis (&axes)[3]) {
    const bool xBeforeY = axes[0].side < axes[1].side;
    const bool alongX = xBeforeY && axes[0].side < axes[2].side;
    const bool alongY = !xBeforeY && axes[1].side < axes[2].side;
    stepIf(axes[0], alongX);
    stepIf(axes[1], alongY);
    stepIf(axes[2], !alongX && !alongY);
    return alongX ? 1 : alongY ? 2 : 3;
}

// Every axis on its own takes its steps while its side distance is below bound.
void jumpBelow(Axis (&axes)[3], double bound) {
    for (Axis& axis : axes)
        while (axis.side < bound) {
            axis.side += axis.delta;
            axis.map += axis.step;
        }
}

// The smallest jumpBound of the axes that step, stepsAhead steps ahead: the end of the box of that reach.
double boxEnd(const Axis (&axes)[3], int stepsAhead) {
    double bound = INFINITY;
    for (const Axis& axis : axes)
        if (axis.delta < INFINITY) bound = std::min(bound, jumpBound(axis.side, axis.delta, stepsAhead));
    return bound;
}

// The side distance below which the ray stays in the grid's interior.
double interiorExit(const FrameRays& rays, const Axis (&axes)[3]) {
    double bound = INFINITY;
    for (int a = 0; a < 3; ++a)
        if (axes[a].delta < INFINITY) bound = std::min(bound, interiorBound(rays, a, axes[a].side, axes[a].delta, axes[a].step));
    return bound;
}

}  // namespace

// The plain walk, except that it consults the cells only where the free-space view says it must.
// From a cell of reach k in the ray's octant, every cell within k - 1 steps ahead along each axis is
// Empty and inside the grid, so the walk jumps: each axis on its own takes its steps while its side
// distance stays below the bound (see ray_walk.h), which are exactly the steps the plain walk takes
// first, with the same additions. Then one ordinary step, and the next look.
int walkOneRay(const FrameRays& rays, int i, int j, std::uint32_t* rgb) {
    const double cx = rays.cx[i];
    const double cy = rays.cy[j];
    const Vec3& right = rays.right;
    const Vec3& up = rays.up;
    const Vec3& direction = rays.direction;
    const Vec3 d{right.x * cx + up.x * cy + direction.x, right.y * cx + up.y * cy + direction.y,
                 right.z * cx + up.z * cy + direction.z};
    Axis axes[3] = {
        setUpAxis(rays, 0, d.x, d.y, d.z),
        setUpAxis(rays, 1, d.y, d.x, d.z),
        setUpAxis(rays, 2, d.z, d.x, d.y),
    };
    // A y or z delta of NaN (the square of that component is 0, from a component too small to square,
    // and so is another) leaves no comparison that could choose x or y true: every step goes along z.
    // The same cells as a ray along z alone, whose delta is 1.
    // Its side distances are then no lengths along it, and its pixel's clearance does not apply.
    const bool alongZ = std::isnan(axes[1].delta) || std::isnan(axes[2].delta);
    if (alongZ) {
        axes[0].side = axes[0].delta = INFINITY;
        axes[1].side = axes[1].delta = INFINITY;
        axes[2].delta = 1;
        axes[2].side = axes[2].step < 0 ? rays.towardLower[2] : rays.towardUpper[2];
    }
    int octant = 0;
    for (int a = 0; a < 3; ++a)
        if (axes[a].step < 0) octant |= 1 << a;
    if ((freeReachReady() >> octant & 1) == 0) buildOctants(1u << octant);
    const std::uint8_t* reachOf = &freeReach[0][0] + freeReachOffset[octant];
    int face = rays.startFace;
    if (rays.found == Clearance::perPixel && !alongZ) {
        // Straight past every cell closer than the pixel's clearance, and no farther than the interior.
        const double bound = std::min(static_cast<double>(clearance[j * rays.width + i]), interiorExit(rays, axes));
        jumpBelow(axes, bound);
    } else if (rays.found == Clearance::emptyInterior) {
        // Straight to the interior's last cell where that pays, and the step after it, which stays in
        // the grid. No ray stops in the eye's cell: the interior holds no solid cell.
        const double exit = interiorExit(rays, axes);
        if (shellJumpPays(boxEnd(axes, eyeRadius(rays) - 1), exit)) {
            jumpBelow(axes, exit);
            face = takeStep(axes);
        }
    }
    for (;;) {
        const int reach = reachOf[cellOffset(axes[0].map, axes[1].map, axes[2].map)];
        if (reach == 0) {
            *rgb = shadeCell(grid[axes[0].map][axes[1].map][axes[2].map], face, rays.captionRed[i] | rays.rampBlue[j]);
            return face;
        }
        if (reach > 1) {  // reach 1: no step without a look
            const double bound = boxEnd(axes, reach - 1);
            // No axis takes more than reach - 1 steps. For short jumps, as many turns in each of which
            // every axis below the bound takes one, by selects rather than branches that no processor
            // could foresee; long ones axis by axis.
            if (reach <= shortJump) {
                for (int turn = 1; turn < reach; ++turn)
                    for (Axis& axis : axes) stepIf(axis, axis.side < bound);
            } else {
                jumpBelow(axes, bound);
            }
        }
        face = takeStep(axes);
        if (!insideGrid(axes[0].map) || !insideGrid(axes[1].map) || !insideGrid(axes[2].map)) {
            *rgb = 0;  // left through a gap in the shell
            return face;
        }
    }
}

// Every ray walks the same cells, and ends with the same face, as in the plain pixel-by-pixel walk, so
// the rays may be walked in any order and several at a time. Only hitFace depends on the order: the
// plain walk leaves it at the last step of the last ray that stepped. Either every ray steps (the
// eye's cell is Empty) or none does (then hitFace stays), so it is the face of the last ray in pixel
// order: the right column's top row, which is walked once more on its own at the end.
void renderFrame() {
    nudgeOffCellBoundary(camera.position.x);
    nudgeOffCellBoundary(camera.position.y);
    nudgeOffCellBoundary(camera.position.z);

    const double W = renderWidth;
    const double H = renderHeight;
    const RenderRect rect = renderRect();
    // Only the four picture sizes occur; the buffers hold the largest.
    const int width = std::min(rect.w, maxPictureWidth);
    const int height = std::min(rect.h, maxPictureHeight);
    if (width <= 0 || height <= 0) return;

    const Vec3 position = camera.position;
    const int eyeCell[3] = {cellIndexOf(position.x), cellIndexOf(position.y), cellIndexOf(position.z)};
    if (eyeCell[0] < 0 || eyeCell[1] < 0 || eyeCell[2] < 0) {
        // An eye outside the grid sees nothing: black, and no ray steps.
        std::fill(pictureRgb, pictureRgb + width * height, 0u);
        putPixelBlock(rect.x, rect.y, width, height, pictureRgb);
        return;
    }

    for (int i = 0; i < width; ++i) {
        const double F = -W / 2 + i;
        columnCx[i] = 2 * F / W;
        const auto green = static_cast<std::uint8_t>(static_cast<int>(F * 255 / W + 128));
        columnCaptionRed[i] = 0xFF0000u | std::uint32_t{green} << 8;
    }
    // The vector walk's last tile of a row may reach past the right edge: those lanes walk the
    // right column's ray again.
    std::fill(columnCx + width, columnCx + width + maxRayLanes, columnCx[width - 1]);
    std::fill(columnCaptionRed + width, columnCaptionRed + width + maxRayLanes, columnCaptionRed[width - 1]);
    for (int j = 0; j < height; ++j) {
        const double G = H / 2 - 1 - j;
        rowCy[j] = 2 * G / H;
        rowRampBlue[j] = static_cast<std::uint8_t>(static_cast<int>(G * 255 / H + 128));
    }

    FrameRays rays{
        width,
        height,
        position,
        camera.right,
        camera.up,
        camera.direction,
        {position.x - std::floor(position.x), position.y - std::floor(position.y), position.z - std::floor(position.z)},
        {std::ceil(position.x) - position.x, std::ceil(position.y) - position.y, std::ceil(position.z) - position.z},
        {eyeCell[0], eyeCell[1], eyeCell[2]},
        hitFace,
        columnCx,
        rowCy,
        columnCaptionRed,
        rowRampBlue,
        pictureRgb,
        Clearance::none,
    };

    updateFreeSpace();
    rays.found = findClearance(rays);
    walkPicture(rays);
    std::uint32_t lastRgb;
    hitFace = walkOneRay(rays, width - 1, 0, &lastRgb);

    putPixelBlock(rect.x, rect.y, width, height, pictureRgb);
}
