// The eye: where it is and how it looks into the world.
#pragma once

#include "camera/vec3.h"

// right and up are the half-width and half-height vectors of the picture plane. direction, right and
// up change only by length-keeping rotations or by copying the initial vectors back, so they stay
// 1, 1 and 0.75 long and mutually perpendicular.
struct Camera {
    Vec3 position;          // the eye point, in cell units; always inside the grid
    Vec3 direction;         // the ray through the middle of the picture
    Vec3 right;             // towards the right edge of the picture
    Vec3 up;                // towards the top edge of the picture
    Vec3 initialDirection;  // starting orientation, restored by keypad 5
    Vec3 initialRight;
    Vec3 initialUp;
};

// At (32, 32, 32) looking along +x at the captioned wall, +y to the right, +z up.
constexpr Camera startCamera{
    {32, 32, 32}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0.75}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0.75},
};

// The one camera, read by the renderer and the command keys, turned and moved by the controls.
extern Camera camera;
