// tandrel: the expected largest peak of an SDOF system's response to
// stationary random vibration, in multiples of sigma.
#include <cstdio>

#include "console/key_wait.h"
#include "credit.h"
#include "peak_factor.h"

namespace {

double duration;
double natural_frequency;
double expected_peak;

// A read that finds no number leaves its value at 0; the arithmetic carries
// that through to the result.
void read_number(double* value) {
    if (std::scanf("%lf", value) != 1) *value = 0;
}

// Flushed at once so that each prompt is on screen before its read waits,
// whatever buffering standard output has.
void show(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

}  // namespace

int main() {
    show("\n\n\n tandrel   ver 1.0  March 13, 2008 \n");
    std::printf("\n by %s   Email: %s \n", credit_author, credit_contact);
    std::fflush(stdout);
    show("\n Rayleigh distribution for SDOF response. \n");

    show("\n Enter the duration (sec) \n");
    read_number(&duration);
    show("\n\n Enter the natural frequency (Hz) \n");
    read_number(&natural_frequency);

    expected_peak = peak_factor(duration, natural_frequency);
    std::printf("\n\n Expected peak = %6.3g sigma\n", expected_peak);
    std::fflush(stdout);
    show("\n Press any key to exit.\n");
    return wait_for_key();
}
