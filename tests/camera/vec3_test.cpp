#include "camera/vec3.h"
#include "tests/support/vec3_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double pi = std::numbers::pi;

}  // namespace

TEST(Vec3, SimpleOperationsGiveExactValues) {
    expectSame(normalize({3, 4, 0}), {0.6, 0.8, 0});
    EXPECT_EQ(length({1, 2, 2}), 3.0);
    expectSame(scale({1, -2, 0.5}, 0.2), {0.2, -0.4, 0.1});
    expectSame(negate({1, 0, -2}), {-1, 0, 2});
}

// Both rotations turn clockwise seen from the tip of the axis: (1, 0, 0) goes towards -y about +z.
TEST(Vec3, RotationsTurnInTheDocumentedSense) {
    expectNear(rotateZ({1, 0, 0}, pi / 2), {0, -1, 0}, 1e-15);
    expectNear(rotateZ({0, 1, 0}, pi / 2), {1, 0, 0}, 1e-15);
    expectNear(rotateAroundAxis({0, 1, 0}, {1, 0, 0}, pi / 2), {0, 0, -1}, 1e-15);
    expectNear(rotateAroundAxis({1, 0, 0}, {0, 1, 0}, pi / 2), {0, 0, 1}, 1e-15);
    expectNear(rotateAroundAxis({1, 0, 0}, {0, 0, 1}, pi / 2), {0, -1, 0}, 1e-15);
    // A small positive turn about z moves +x towards -y, as the mouse look relies on.
    const Vec3 turned = rotateZ({1, 0, 0}, 0.01);
    EXPECT_LT(turned.y, 0.0);
    EXPECT_NEAR(turned.x, std::cos(0.01), 1e-16);
}

TEST(Vec3, RotationAboutAScaledZAxisMatchesRotateZ) {
    const Vec3 vectors[] = {{1, 0, 0}, {0.3, -0.7, 0.2}, {-2.5, 4, 1}, {0, 0, 0.75}};
    const double angles[] = {0.0, 0.1, -0.4, pi / 3, 2.9, -pi};
    for (Vec3 v : vectors)
        for (double a : angles) {
            SCOPED_TRACE(a);
            expectNear(rotateAroundAxis(v, {0, 0, 5}, a), rotateZ(v, a), 1e-14);
            expectNear(rotateAroundAxis(v, {0, 0, 1e-3}, a), rotateZ(v, a), 1e-14);
        }
}

TEST(Vec3, AVectorTurnedAboutItselfOrByZeroStaysPut) {
    const Vec3 vectors[] = {{1, 0, 0}, {0.3, -0.7, 0.2}, {-2.5, 4, 1}, {0, 0.75, 0}};
    for (Vec3 v : vectors) {
        expectNear(rotateAroundAxis(v, v, 1.234), v, 1e-14);
        expectNear(rotateAroundAxis(v, v, -pi / 2), v, 1e-14);
        expectNear(rotateAroundAxis(v, {0.2, 0.9, -0.4}, 0.0), v, 1e-15);
        expectNear(rotateZ(v, 0.0), v, 0.0);
    }
}

// No caller passes a zero vector or axis, but a division by a zero length must not spread NaNs.
TEST(Vec3, ZeroVectorsAndAxesGiveFiniteResults) {
    EXPECT_EQ(length({0, 0, 0}), 0.0);
    expectSame(normalize({0, 0, 0}), {0, 0, 0});

    const Vec3 v{0.3, -0.7, 0.2};
    const Vec3 zeroAxisTurn = rotateAroundAxis(v, {0, 0, 0}, 0.5);
    EXPECT_TRUE(isFinite(zeroAxisTurn));
    expectSame(zeroAxisTurn, v);

    const Vec3 zeroTurned = rotateAroundAxis({0, 0, 0}, {1, 2, 3}, 0.5);
    EXPECT_TRUE(isFinite(zeroTurned));
    expectSame(zeroTurned, {0, 0, 0});

    EXPECT_TRUE(isFinite(rotateAroundAxis({0, 0, 0}, {0, 0, 0}, 1.0)));
    EXPECT_TRUE(isFinite(rotateZ({0, 0, 0}, 1.0)));
}

// The length correction keeps a vector's length from drifting however often it is turned.
TEST(Vec3, ManyTurnsAboutRandomAxesKeepTheLength) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> component(-1.0, 1.0);
    std::uniform_real_distribution<double> angle(-pi, pi);
    Vec3 v{0.3, -1.7, 2.2};
    const double start = length(v);
    for (int i = 0; i < 20000; ++i) {
        const Vec3 axis{component(random), component(random), component(random)};
        v = rotateAroundAxis(v, axis, angle(random));
    }
    EXPECT_NEAR(length(v), start, 1e-13 * start);
}
