#include "plain_formula.h"

#include <cmath>

double plain_formula(double duration, double natural_frequency) {
    return std::sqrt(2 * std::log(natural_frequency * duration));
}
