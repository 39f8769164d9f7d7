#include "camera/vec3.h"

#include <cmath>

Vec3 negate(Vec3 v) {
    return {-v.x, -v.y, -v.z};
}

Vec3 scale(Vec3 v, double s) {
    return {v.x * s, v.y * s, v.z * s};
}

double length(Vec3 v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

Vec3 normalize(Vec3 v) {
    const double l = length(v);
    if (l == 0.0) return v;
    return {v.x / l, v.y / l, v.z / l};
}

Vec3 rotateZ(Vec3 v, double a) {
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {v.x * c + v.y * s, v.y * c - v.x * s, v.z};
}

Vec3 rotateAroundAxis(Vec3 v, Vec3 axis, double a) {
    if (length(axis) == 0.0) return v;
    const Vec3 u = normalize(axis);
    const double c = std::cos(a);
    const double s = std::sin(a);
    const double t = 1 - c;
    Vec3 r{
        (t * u.x * u.x + c) * v.x + (t * u.x * u.y + s * u.z) * v.y + (t * u.x * u.z - s * u.y) * v.z,
        (t * u.x * u.y - s * u.z) * v.x + (t * u.y * u.y + c) * v.y + (t * u.y * u.z + s * u.x) * v.z,
        (t * u.x * u.z + s * u.y) * v.x + (t * u.y * u.z - s * u.x) * v.y + (t * u.z * u.z + c) * v.z,
    };
    // Rounding makes r drift from the length of v; correct it component by component, each from
    // the length of r as corrected so far.
    const double target = length(v);
    if (target == 0.0) return r;  // a zero vector turns into itself
    r.x = target * r.x / length(r);
    r.y = target * r.y / length(r);
    r.z = target * r.z / length(r);
    return r;
}
