#include <gtest/gtest.h>

#include <cmath>

#include "fx/vector.h"

namespace {

const double kPi = std::acos(-1.0);
constexpr float kTolerance = 1e-6f;

void expectNear(const Vec3& got, float x, float y, float z) {
    EXPECT_NEAR(got.x, x, kTolerance);
    EXPECT_NEAR(got.y, y, kTolerance);
    EXPECT_NEAR(got.z, z, kTolerance);
}

void expectNear(const Mat3& got, const Mat3& want) {
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        expectNear(got.row[r], want.row[r].x, want.row[r].y, want.row[r].z);
    }
}

TEST(Rotation, QuarterTurnsMoveEachUnitVectorToTheNextAxis) {
    // Right-handed: x turns toward y about z, y toward z about x, z toward x about y.
    expectNear(transform(rotationZ(kPi / 2), Vec3{1, 0, 0}), 0, 1, 0);
    expectNear(transform(rotationX(kPi / 2), Vec3{0, 1, 0}), 0, 0, 1);
    expectNear(transform(rotationY(kPi / 2), Vec3{0, 0, 1}), 1, 0, 0);
    // And the axis of each rotation stays where it is.
    expectNear(transform(rotationZ(0.8), Vec3{0, 0, 1}), 0, 0, 1);
    expectNear(transform(rotationX(0.8), Vec3{1, 0, 0}), 1, 0, 0);
    expectNear(transform(rotationY(0.8), Vec3{0, 1, 0}), 0, 1, 0);
}

TEST(Rotation, AngleZeroIsTheIdentityAndTheIdentityKeepsVectorsExactly) {
    const Mat3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    for (const Mat3& m : {rotationX(0), rotationY(0), rotationZ(0)}) {
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(m.row[r].x, identity.row[r].x);
            EXPECT_EQ(m.row[r].y, identity.row[r].y);
            EXPECT_EQ(m.row[r].z, identity.row[r].z);
        }
    }
    const Vec3 v{63.9994f, -0.2039f, 1e-30f};
    const Vec3 w = transform(identity, v);
    EXPECT_EQ(w.x, v.x);
    EXPECT_EQ(w.y, v.y);
    EXPECT_EQ(w.z, v.z);
}

TEST(Multiply, RotationsAboutOneAxisAddTheirAngles) {
    expectNear(multiply(rotationX(0.4), rotationX(1.3)), rotationX(1.7));
    expectNear(multiply(rotationY(-2.0), rotationY(0.5)), rotationY(-1.5));
    expectNear(multiply(rotationZ(3.0), rotationZ(3.0)), rotationZ(6.0));
}

TEST(Multiply, TheLeftFactorActsFirstOnRowVectors) {
    const Mat3 a = rotationX(0.7);
    const Mat3 b = rotationZ(1.1);
    const Vec3 v{0.3f, -1.2f, 2.5f};
    const Vec3 both = transform(multiply(a, b), v);
    const Vec3 inTurn = transform(b, transform(a, v));
    expectNear(both, inTurn.x, inTurn.y, inTurn.z);
    // The two rotations do not commute, so the other order gives another vector.
    const Vec3 reversed = transform(a, transform(b, v));
    EXPECT_GT(std::fabs(both.x - reversed.x) + std::fabs(both.y - reversed.y) +
                  std::fabs(both.z - reversed.z),
              0.1f);
}

TEST(Arithmetic, SumsAreFormedInDoubleBeforeRoundingToFloat) {
    // In float, 1e8 + 1 rounds back to 1e8 and the 1 would be lost.
    const Vec3 v{1e8f, 1.0f, -1e8f};
    const Mat3 ones{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}};
    const Vec3 w = transform(ones, v);
    EXPECT_EQ(w.x, 1.0f);
    EXPECT_EQ(w.y, 1.0f);
    EXPECT_EQ(w.z, 1.0f);

    const Mat3 a{{{1e8f, 1.0f, -1e8f}, {0, 0, 0}, {0, 0, 0}}};
    const Mat3 p = multiply(a, ones);
    EXPECT_EQ(p.row[0].x, 1.0f);
    EXPECT_EQ(p.row[0].z, 1.0f);
    EXPECT_EQ(p.row[1].y, 0.0f);
}

}  // namespace
