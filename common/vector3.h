// Three single-precision floats with value arithmetic: the vector type of every module.
#pragma once

#include <cmath>

struct Vector3 {
    float x = 0, y = 0, z = 0;

    Vector3() = default;
    Vector3(float x, float y, float z) : x(x), y(y), z(z) {}

    Vector3& operator+=(Vector3 b) {
        x += b.x;
        y += b.y;
        z += b.z;
        return *this;
    }
    Vector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
};

inline Vector3 operator+(Vector3 a, Vector3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3 operator-(Vector3 a, Vector3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3 operator*(Vector3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
// No test of s: a division by zero gives infinities or NaN as floating point does.
inline Vector3 operator/(Vector3 a, float s) {
    return {a.x / s, a.y / s, a.z / s};
}

// The right-handed cross product a x b.
inline Vector3 cross(Vector3 a, Vector3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The squares are summed in double precision.
inline double length(Vector3 a) {
    const double x = a.x, y = a.y, z = a.z;
    return std::sqrt(x * x + y * y + z * z);
}

// Throws the integer 0 for a vector without length (zero or NaN), so callers that may meet
// one must catch it.
inline Vector3 normalized(Vector3 a) {
    const float l = static_cast<float>(length(a));
    if (!(l > 0)) {
        throw 0;
    }
    return {a.x / l, a.y / l, a.z / l};
}
