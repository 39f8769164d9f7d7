#include "tests/reference/plain_raycaster.h"

#include "render/raycaster.h"

#include "camera/camera.h"
#include "shell/screen.h"
#include "world/grid.h"

#include <cmath>
#include <cstdint>

namespace {

struct Colour {
    std::uint8_t r, g, b;
};

constexpr Colour outsideColour{0, 0, 0};

bool insideGrid(int index) {
    return index >= 0 && index < gridSize;
}

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

Axis setUpAxis(double position, int map, double da, double db, double dc) {
    const double delta = deltaDistance(da, db, dc);
    if (da < 0) return {map, -1, delta, delta * (position - std::floor(position))};
    return {map, +1, delta, delta * (std::ceil(position) - position)};
}

// Shading of the solid cell a ray ended in. F and G are the pixel's horizontal and vertical offsets.
Colour shade(const Cell& cell, double F, double G, double W, double H) {
    switch (cell.state) {
    case Live:
        if (hitFace == 1) return {cell.red, cell.green, 0};
        if (hitFace == 2) return {0, cell.green, cell.blue};
        return {cell.red, 0, cell.blue};  // face 3, or 0 before any step
    case Caption:
        return {255, static_cast<std::uint8_t>(static_cast<int>(F * 255 / W + 128)),
                static_cast<std::uint8_t>(static_cast<int>(G * 255 / H + 128))};
    default:
        return {cell.red, cell.green, cell.blue};  // Wall, and any other solid state
    }
}

// Walks one ray from the eye's cell until it meets a solid cell or leaves the grid. The axis to step
// is the one with the strictly smallest side distance, ties going to z over y over x.
PlainRayEnd walkToEnd(const Vec3& position, const int (&eyeCell)[3], const Vec3& d) {
    Axis axes[3] = {
        setUpAxis(position.x, eyeCell[0], d.x, d.y, d.z),
        setUpAxis(position.y, eyeCell[1], d.y, d.x, d.z),
        setUpAxis(position.z, eyeCell[2], d.z, d.x, d.y),
    };
    double entered = 0;
    int face = 0;
    for (;;) {
        if (grid[axes[0].map][axes[1].map][axes[2].map].state > Empty) return {{axes[0].map, axes[1].map, axes[2].map}, entered, face};
        if (axes[0].side < axes[1].side)
            face = axes[0].side < axes[2].side ? 1 : 3;
        else
            face = axes[1].side < axes[2].side ? 2 : 3;
        Axis& axis = axes[face - 1];
        entered = axis.side;
        axis.map += axis.step;
        axis.side += axis.delta;
        if (!insideGrid(axis.map)) return {{-1, -1, -1}, entered, face};
    }
}

// The colour of one ray's pixel; hitFace becomes the face of its last step, if it takes any.
Colour castRay(const Vec3& position, const int (&eyeCell)[3], const Vec3& d, double F, double G, double W, double H) {
    const PlainRayEnd end = walkToEnd(position, eyeCell, d);
    if (end.face != 0) hitFace = end.face;
    if (end.cell[0] < 0) return outsideColour;  // only through a gap in the shell
    return shade(grid[end.cell[0]][end.cell[1]][end.cell[2]], F, G, W, H);
}

// The camera's position as plainRenderFrame nudges it.
Vec3 nudgedEye() {
    Vec3 position = camera.position;
    nudgeOffCellBoundary(position.x);
    nudgeOffCellBoundary(position.y);
    nudgeOffCellBoundary(position.z);
    return position;
}

// The direction of the ray of the pixel at cx, cy: right * cx + up * cy + direction, component by
// component, left to right.
Vec3 rayDirection(double cx, double cy) {
    const Vec3& right = camera.right;
    const Vec3& up = camera.up;
    const Vec3& direction = camera.direction;
    return {right.x * cx + up.x * cy + direction.x, right.y * cx + up.y * cy + direction.y, right.z * cx + up.z * cy + direction.z};
}

}  // namespace

std::vector<PlainRayEnd> plainRayEnds() {
    const Vec3 position = nudgedEye();
    const double W = renderWidth;
    const double H = renderHeight;
    const RenderRect rect = renderRect();
    const int eyeCell[3] = {cellIndexOf(position.x), cellIndexOf(position.y), cellIndexOf(position.z)};
    std::vector<PlainRayEnd> ends;
    for (int j = 0; j < rect.h; ++j) {
        const double cy = 2 * (H / 2 - 1 - j) / H;
        for (int i = 0; i < rect.w; ++i) {
            ends.push_back(walkToEnd(position, eyeCell, rayDirection(2 * (-W / 2 + i) / W, cy)));
        }
    }
    return ends;
}

std::vector<PlainRayAxis> plainRayAxes() {
    const Vec3 position = nudgedEye();
    const double W = renderWidth;
    const double H = renderHeight;
    const RenderRect rect = renderRect();
    std::vector<PlainRayAxis> axes;
    for (int i = 0; i < rect.w; ++i) {
        const double cx = 2 * (-W / 2 + i) / W;
        for (int j = rect.h - 1; j >= 0; --j) {
            const Vec3 d = rayDirection(cx, 2 * (H / 2 - 1 - j) / H);
            for (const Axis& a : {setUpAxis(position.x, 0, d.x, d.y, d.z), setUpAxis(position.y, 0, d.y, d.x, d.z),
                                  setUpAxis(position.z, 0, d.z, d.x, d.y)})
                axes.push_back({a.delta, a.side});
        }
    }
    return axes;
}

void plainRenderFrame() {
    camera.position = nudgedEye();

    const double W = renderWidth;
    const double H = renderHeight;
    const RenderRect rect = renderRect();
    const Vec3 position = camera.position;
    const int eyeCell[3] = {cellIndexOf(position.x), cellIndexOf(position.y), cellIndexOf(position.z)};
    const bool eyeInside = eyeCell[0] >= 0 && eyeCell[1] >= 0 && eyeCell[2] >= 0;

    // Column by column from the left, each from the bottom row up: the order decides which hitFace a
    // ray that takes no step inherits.
    for (int i = 0; i < rect.w; ++i) {
        const double F = -W / 2 + i;
        const double cx = 2 * F / W;
        for (int j = rect.h - 1; j >= 0; --j) {
            const double G = H / 2 - 1 - j;
            const Vec3 d = rayDirection(cx, 2 * G / H);
            const Colour colour = eyeInside ? castRay(position, eyeCell, d, F, G, W, H) : outsideColour;
            putPixel(rect.x + i, rect.y + j, colour.r, colour.g, colour.b);
        }
    }
}
