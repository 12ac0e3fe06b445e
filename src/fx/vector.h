// Small 3D arithmetic for the point scenes: row vectors, 3 by 3 matrices, the elementary
// rotations, their product and the transformation of a vector. Vectors are row vectors, so a
// matrix acts from the right (v' = v * M) and in a product A * B applied to a vector, A acts
// first.
#pragma once

// Three single-precision components. Default construction leaves them unset.
struct Vec3 {
    float x, y, z;
};

// Three rows, m.row[r] holding the elements (r, 0), (r, 1), (r, 2) as x, y, z.
struct Mat3 {
    Vec3 row[3];
};

// Right-handed rotations by +angle radians about one axis: x turns y toward z, y turns z
// toward x, z turns x toward y. Sine and cosine are taken in double and stored as floats.
Mat3 rotationX(double angle);
Mat3 rotationY(double angle);
Mat3 rotationZ(double angle);

// The product a * b; each element summed in double and stored as a float.
Mat3 multiply(const Mat3& a, const Mat3& b);

// The row vector v * m; each component summed in double and stored as a float.
Vec3 transform(const Mat3& m, const Vec3& v);
