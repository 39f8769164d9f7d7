// Comparisons of vectors for tests of the camera and of the renderer.
#pragma once

#include "camera/vec3.h"

double dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
// The same doubles to the bit (so -0 differs from 0, and a NaN equals the same NaN).
bool sameBits(Vec3 a, Vec3 b);
bool isFinite(Vec3 v);
// Each component within tolerance of the expected one, as three GoogleTest expectations.
void expectNear(Vec3 actual, Vec3 expected, double tolerance);
// Each component equal to the expected one (-0 and 0 count as equal), as three expectations.
void expectSame(Vec3 actual, Vec3 expected);
