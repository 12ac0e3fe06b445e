#include "fx/vector.h"

#include <cmath>

namespace {

// Element (r, c) widened to double, so that a product of two elements is exact and the sums
// are formed in double.
double at(const Mat3& m, int r, int c) {
    const Vec3& row = m.row[r];
    return c == 0 ? row.x : c == 1 ? row.y : row.z;
}

Vec3 vec(double x, double y, double z) {
    return Vec3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

}  // namespace

Mat3 rotationX(double angle) {
    const double c = cos(angle);
    const double s = sin(angle);
    return Mat3{{vec(1, 0, 0), vec(0, c, s), vec(0, -s, c)}};
}

Mat3 rotationY(double angle) {
    const double c = cos(angle);
    const double s = sin(angle);
    return Mat3{{vec(c, 0, -s), vec(0, 1, 0), vec(s, 0, c)}};
}

Mat3 rotationZ(double angle) {
    const double c = cos(angle);
    const double s = sin(angle);
    return Mat3{{vec(c, s, 0), vec(-s, c, 0), vec(0, 0, 1)}};
}

Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 p;
    for (int r = 0; r < 3; ++r) {
        double e[3];
        for (int k = 0; k < 3; ++k) {
            e[k] =
                at(a, r, 0) * at(b, 0, k) + at(a, r, 1) * at(b, 1, k) + at(a, r, 2) * at(b, 2, k);
        }
        p.row[r] = vec(e[0], e[1], e[2]);
    }
    return p;
}

Vec3 transform(const Mat3& m, const Vec3& v) {
    const double x = v.x;
    const double y = v.y;
    const double z = v.z;
    return vec(x * at(m, 0, 0) + y * at(m, 1, 0) + z * at(m, 2, 0),
               x * at(m, 0, 1) + y * at(m, 1, 1) + z * at(m, 2, 1),
               x * at(m, 0, 2) + y * at(m, 1, 2) + z * at(m, 2, 2));
}
