// The wide-exponent handling costs a test on the common path only.
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "peak_factor.h"
#include "plain_formula.h"

namespace {

struct inputs {
    std::vector<double> durations;
    std::vector<double> frequencies;
};

// Durations of seconds to hours, frequencies of a hertz to a few kilohertz.
const inputs& everyday_inputs() {
    static const inputs values = [] {
        inputs generated;
        std::mt19937_64 random(42);
        std::uniform_real_distribution<double> duration(1, 3600);
        std::uniform_real_distribution<double> frequency(1, 5000);
        for (int i = 0; i < 4096; ++i) {
            generated.durations.push_back(duration(random));
            generated.frequencies.push_back(frequency(random));
        }
        return generated;
    }();
    return values;
}

template <double (*formula)(double, double)>
void over_everyday_inputs(benchmark::State& state) {
    const inputs& values = everyday_inputs();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formula(values.durations[i], values.frequencies[i]));
        i = (i + 1) % values.durations.size();
    }
}

void beyond_the_double_range(benchmark::State& state) {
    double duration = 1e200;
    for (auto _ : state) {
        benchmark::DoNotOptimize(duration);
        benchmark::DoNotOptimize(peak_factor(duration, 1e200));
    }
}

}  // namespace

BENCHMARK(over_everyday_inputs<peak_factor>)->Name("peak_factor");
BENCHMARK(over_everyday_inputs<plain_formula>)->Name("plain_formula");
BENCHMARK(beyond_the_double_range)->Name("peak_factor_beyond_double_range");
BENCHMARK_MAIN();
