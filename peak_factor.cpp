#include "peak_factor.h"

#include <cmath>

namespace {
constexpr double ln_2 = 0.693147180559945309417232121458176568;
}

// The product is taken as if its exponent were unbounded, so that two finite
// factors always give a finite peak however large they are.
double peak_factor(double duration, double natural_frequency) {
    const double product = natural_frequency * duration;
    if (std::isinf(product) && std::isfinite(natural_frequency) && std::isfinite(duration)) {
        // Significands in [0.5, 1) multiply without overflow and round as the
        // wide product would; the exponents go straight into the logarithm.
        int frequency_exponent = 0;
        int duration_exponent = 0;
        const double significand = std::frexp(natural_frequency, &frequency_exponent) *
                                   std::frexp(duration, &duration_exponent);
        const double log_product =
            std::log(significand) + (frequency_exponent + duration_exponent) * ln_2;
        return std::sqrt(2 * log_product);
    }
    return std::sqrt(2 * std::log(product));
}
