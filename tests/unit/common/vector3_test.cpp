#include "common/random_offset.h"
#include "common/vector3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

void expectVector(Vector3 v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST(Vector3, ArithmeticWorksComponentByComponent) {
    const Vector3 a(1, 2, 3), b(4, -5, 6.5f);
    expectVector(Vector3(), 0, 0, 0);
    expectVector(a + b, 5, -3, 9.5f);
    expectVector(a - b, -3, 7, -3.5f);
    expectVector(a * 2, 2, 4, 6);
    expectVector(a / 2, 0.5f, 1, 1.5f);

    Vector3 c = a;
    Vector3& sum = (c += b);
    EXPECT_EQ(&sum, &c);
    expectVector(c, 5, -3, 9.5f);
    Vector3& product = (c *= -1);
    EXPECT_EQ(&product, &c);
    expectVector(c, -5, 3, -9.5f);
}

TEST(Vector3, CrossProductIsRightHanded) {
    expectVector(cross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
    expectVector(cross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
    expectVector(cross({1, 2, 3}, {4, 5, 6}), -3, 6, -3);
}

TEST(Vector3, LengthIsComputedInDoublePrecision) {
    EXPECT_DOUBLE_EQ(length({3, 0, 4}), 5.0);
    // 1e20 squared overflows a float but not a double.
    EXPECT_DOUBLE_EQ(length({1e20f, 0, 0}), static_cast<double>(1e20f));
}

TEST(Vector3, NormalizedDividesByLengthAndThrowsZeroWithoutOne) {
    expectVector(normalized({3, 0, 4}), 0.6f, 0, 0.8f);
    try {
        normalized({0, 0, 0});
        FAIL() << "no error for a zero vector";
    } catch (int code) {
        EXPECT_EQ(code, 0);
    }
    EXPECT_THROW(normalized({NAN, 0, 0}), int);
}

TEST(Vector3, DivisionByZeroFollowsFloatingPointRules) {
    const Vector3 v = Vector3(1, -1, 0) / 0.0f;
    EXPECT_TRUE(std::isinf(v.x) && v.x > 0);
    EXPECT_TRUE(std::isinf(v.y) && v.y < 0);
    EXPECT_TRUE(std::isnan(v.z));
}

TEST(RandomOffset, ReducesModuloThousandIntoSteppedRange) {
    EXPECT_DOUBLE_EQ(randomOffsetFrom(0), -0.5);
    EXPECT_DOUBLE_EQ(randomOffsetFrom(3000), -0.5);
    EXPECT_NEAR(randomOffsetFrom(999), 0.499, 1e-12);
    EXPECT_NEAR(randomOffsetFrom(1500), 0.0, 1e-12);
    EXPECT_NEAR(randomOffsetFrom(RAND_MAX), (RAND_MAX % 1000) * 0.001 - 0.5, 1e-12);

    std::srand(7);
    for (int i = 0; i < 10000; ++i) {
        const double r = randomOffset();
        ASSERT_GE(r, -0.5);
        ASSERT_LT(r, 0.5);
        const double steps = (r + 0.5) * 1000;
        ASSERT_NEAR(steps, std::round(steps), 1e-6);
    }
}

TEST(RandomOffset, FollowsTheStandardGenerator) {
    std::srand(42);
    const int first = std::rand(), second = std::rand();
    std::srand(42);
    EXPECT_DOUBLE_EQ(randomOffset(), randomOffsetFrom(first));
    EXPECT_DOUBLE_EQ(randomOffset(), randomOffsetFrom(second));
}

} // namespace
