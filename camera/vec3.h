// Vectors in cell units and the rotations that turn the camera. Every operation is a pure function
// whose arithmetic runs in the order written, so results are reproducible to the last bit.
#pragma once

struct Vec3 {
    double x;
    double y;
    double z;
};

Vec3 negate(Vec3 v);
Vec3 scale(Vec3 v, double s);
double length(Vec3 v);
// v divided by its length. A zero vector is returned unchanged (zero), not divided into NaNs.
Vec3 normalize(Vec3 v);
// Turns v by angle a (radians) about the world z axis, clockwise seen from +z:
// (1, 0, 0) goes to (cos a, -sin a, 0).
Vec3 rotateZ(Vec3 v, double a);
// Turns v by angle a (radians) about axis, in the same sense as rotateZ, then brings the result back
// to the length of v one component at a time. A zero axis, or a zero v, leaves v unchanged.
Vec3 rotateAroundAxis(Vec3 v, Vec3 axis, double a);
