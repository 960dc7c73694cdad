#include "peak_factor.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

// The result as the user sees it.
std::string shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%6.3g", value);
    return text;
}

struct shown_case {
    double duration;
    double natural_frequency;
    const char* expected;
};

TEST(PeakFactor, ShowsThreeSignificantDigits) {
    const shown_case cases[] = {
        {10, 10, "  3.03"},
        {60, 100, "  4.17"},
        {2, 1, "  1.18"},
        {1.5, 1, " 0.901"},
        {1, 1, "     0"},
        {-10, -10, "  3.03"},
        {1.0000000001, 1, "1.41e-05"},
        {1.000000000000001, 1, "4.71e-08"},
        // Products beyond the double range stay finite.
        {1e200, 1e200, "  42.9"},
        {1e300, 1e300, "  52.6"},
        {-1e300, -1e300, "  52.6"},
        {DBL_MAX, DBL_MAX, "  53.3"},
    };
    for (const shown_case& c : cases)
        EXPECT_EQ(shown(peak_factor(c.duration, c.natural_frequency)), c.expected)
            << c.duration << " s, " << c.natural_frequency << " Hz";
}

TEST(PeakFactor, IsNotANumberForFewerThanOneCycle) {
    const double infinity = HUGE_VAL;
    const double cases[][2] = {
        {0.5, 1}, {0, 5}, {5, 0}, {-10, 10}, {1e-200, 1e-200}, {-1e300, 1e300},
        {infinity, 0}, {NAN, 10}, {10, NAN},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(std::isnan(peak_factor(c[0], c[1]))) << c[0] << " s, " << c[1] << " Hz";
}

TEST(PeakFactor, InfiniteFactorGivesInfinitePeak) {
    EXPECT_EQ(peak_factor(HUGE_VAL, 10), HUGE_VAL);
}

TEST(PeakFactor, WideProductMatchesItsExactLogarithm) {
    // sqrt(2 ln(10^400)), sqrt(2 ln(10^600)), sqrt(4 ln(DBL_MAX)).
    EXPECT_NEAR(peak_factor(1e200, 1e200), 42.919320525786944, 1e-12);
    EXPECT_NEAR(peak_factor(1e300, 1e300), 52.565217697569324, 1e-12);
    EXPECT_NEAR(peak_factor(DBL_MAX, DBL_MAX), 53.28349511409265, 1e-12);
}

TEST(PeakFactor, NoStepWhereTheProductLeavesTheDoubleRange) {
    // A product of DBL_MAX, just beyond it, twice and four times it.
    EXPECT_NEAR(peak_factor(DBL_MAX / 2, 2), 37.67712072049519, 1e-12);
    EXPECT_NEAR(peak_factor(DBL_MAX / 2, 2 * (1 + DBL_EPSILON)), 37.67712072049519, 1e-12);
    EXPECT_NEAR(peak_factor(DBL_MAX, 2), 37.695513262825955, 1e-12);
    EXPECT_NEAR(peak_factor(4, DBL_MAX), 37.71389683537102, 1e-12);
}

}  // namespace
