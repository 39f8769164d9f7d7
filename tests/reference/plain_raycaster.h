// The ray caster written plainly: one scalar walk per pixel, in pixel order, every pixel through
// putPixel. It defines the picture; renderFrame must give exactly the same pixels, hitFace and camera
// position. Works on the program's globals (camera, grid, hitFace, renderWidth, renderHeight, screen).
#pragma once

#include <vector>

void plainRenderFrame();

// The delta distance and first side distance of every axis of every ray that plainRenderFrame would
// cast from the camera now (the camera itself is left as it is).
struct PlainRayAxis {
    double delta;
    double side;
};
std::vector<PlainRayAxis> plainRayAxes();

// Where the ray of every pixel that plainRenderFrame would cast from the camera now stops, row-major
// (rows from the top): the cell, the side distance of the step into it and the face of that step (0
// and 0 when it takes none). Rays that leave the grid through a gap in the shell have cell
// {-1, -1, -1}.
struct PlainRayEnd {
    int cell[3];
    double entered;
    int face;
};
std::vector<PlainRayEnd> plainRayEnds();
