#include <gtest/gtest.h>

#include <cmath>

#include "director/point_cloud_scene.h"
#include "director/scenes.h"
#include "fx/intensity.h"

namespace {

float length(const Vec3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST(PathPoints, StartAndHundredthPointAndRadius) {
    computePathPoints();
    // Radius 64, and the angles 6.28 and -6.28 fall just short of a full turn.
    EXPECT_NEAR(pathPoint(0).x, 63.9994f, 1e-4f);
    EXPECT_NEAR(pathPoint(0).y, 0.2039f, 1e-4f);
    EXPECT_NEAR(pathPoint(0).z, 0.2039f, 1e-4f);
    EXPECT_NEAR(pathPoint(100).x, 14.06f, 0.01f);
    EXPECT_NEAR(pathPoint(100).y, 19.15f, 0.01f);
    EXPECT_NEAR(pathPoint(100).z, 67.97f, 0.01f);
    for (int k = 0; k < kPathPoints; ++k) {
        const float r = length(pathPoint(k));
        ASSERT_GE(r, 48 - 1e-3f) << k;
        ASSERT_LE(r, 80 + 1e-3f) << k;
    }
}

TEST(ZoomCentre, StaysInItsRangeAndUsesSinglePrecisionQuotients) {
    for (int32_t n = 1301; n < 1301 + 2 * 3512; ++n) {
        const ZoomCentre c = zoomCentre(n);
        ASSERT_GE(c.x, 40) << n;
        ASSERT_LE(c.x, 120) << n;
        ASSERT_GE(c.y, 25) << n;
        ASSERT_LE(c.y, 75) << n;
    }
    // Frames where a double quotient a / 559 or a / 611 would land on the other integer.
    EXPECT_EQ(zoomCentre(17543).x, 93);
    EXPECT_EQ(zoomCentre(29538).y, 41);
    // The closing scene has no last frame: still in range (and no overflow) at the last one.
    const ZoomCentre last = zoomCentre(INT32_MAX);
    EXPECT_GE(last.x, 40);
    EXPECT_LE(last.x, 120);
}

TEST(WarpTables, EveryEntryStaysInsideTheBufferForEveryCentre) {
    for (int32_t cx = 40; cx <= 120; ++cx) {
        for (int32_t cy = 25; cy <= 75; cy += 5) {
            fillWarpTables(ZoomCentre{cx, cy});
            EXPECT_EQ(warpTables().columns[cx], cx);
            EXPECT_EQ(warpTables().rows[cy], cy);
            for (int c = 0; c < kLargeWidth; ++c) {
                ASSERT_GE(warpTables().columns[c], 0);
                ASSERT_LE(warpTables().columns[c], kLargeWidth - 1);
            }
            for (int r = 0; r < kLargeHeight; ++r) {
                ASSERT_GE(warpTables().rows[r], 0);
                ASSERT_LE(warpTables().rows[r], kLargeHeight - 1);
            }
        }
    }
}

TEST(WarpTables, AreEvaluatedInSinglePrecision) {
    // (20 - 40) * 0.85f is -17.0000005 exactly; rounded to float it is -17, so the entry is
    // 23. Kept in double, 40 less that would truncate to 22.
    fillWarpTables(ZoomCentre{40, 25});
    EXPECT_EQ(warpTables().columns[20], 23);
    EXPECT_EQ(warpTables().columns[0], 6);
    EXPECT_EQ(warpTables().columns[159], 141);
    EXPECT_EQ(warpTables().rows[5], 8);
}

TEST(Pulse, SizeAndPlaceFollowThePhase) {
    PulseRect p = pulseRect(0.09);  // frame 2501
    EXPECT_EQ(p.width, 159);
    EXPECT_EQ(p.height, 99);
    EXPECT_EQ(p.x, -39);
    EXPECT_EQ(p.y, -24);

    double phase = 0;
    for (int n = 2501; n <= 2520; ++n)
        phase += 0.09;
    p = pulseRect(phase);
    EXPECT_EQ(p.width, 98);
    EXPECT_EQ(p.height, 61);
    EXPECT_EQ(p.x, -9);
    EXPECT_EQ(p.y, -5);

    p = pulseRect(std::acos(-1.0));  // the largest: 160 by 100, the picture doubled
    EXPECT_EQ(p.width, 160);
    EXPECT_EQ(p.height, 100);
    EXPECT_EQ(p.x, -40);
    EXPECT_EQ(p.y, -25);

    p = pulseRect(std::acos(-1.0) / 2);  // the smallest: the frame exactly
    EXPECT_EQ(p.width, 80);
    EXPECT_EQ(p.height, 50);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

}  // namespace
