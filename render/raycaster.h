// The voxel ray caster: one ray per pixel from the camera through grid, walked cell by cell.
#pragma once

// The axis of the most recent step taken by any ray: 1 for x, 2 for y, 3 for z, 0 before the first
// step of the run. Kept from ray to ray and frame to frame: a ray that takes no step (the eye inside
// a solid cell) is shaded with the face left by an earlier ray.
extern int hitFace;

// Draws the picture of renderWidth x renderHeight pixels centred in the window, without presenting
// it. First nudges every whole-numbered coordinate of the camera's position by 0.01, so that no ray
// starts on a cell boundary. The pixels are stored with putPixelBlock, which stores exactly what
// putPixel would; every pixel, hitFace and the nudged position are those of a plain walk of one ray
// after another, column by column from the left, each column from the bottom row up.
//
// Nothing outside the grid is ever read: an eye outside the grid, or a ray that leaves it through a
// gap in the shell, is drawn black.
void renderFrame();
