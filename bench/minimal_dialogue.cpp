// The least a program can do for the same dialogue: the same writes, the
// same two reads, the plain formula, no key wait. The yardstick for a run of
// tandrel without a console.
#include <cmath>
#include <cstdio>

int main() {
    double duration = 0;
    double natural_frequency = 0;
    std::fputs("\n\n\n tandrel   ver 1.0  March 13, 2008 \n", stdout);
    std::fflush(stdout);
    std::printf("\n by %s   Email: %s \n", "the tandrel project", "tandrel@example.org");
    std::fflush(stdout);
    std::fputs("\n Rayleigh distribution for SDOF response. \n", stdout);
    std::fflush(stdout);
    std::fputs("\n Enter the duration (sec) \n", stdout);
    std::fflush(stdout);
    std::scanf("%lf", &duration);
    std::fputs("\n\n Enter the natural frequency (Hz) \n", stdout);
    std::fflush(stdout);
    std::scanf("%lf", &natural_frequency);
    std::printf("\n\n Expected peak = %6.3g sigma\n", std::sqrt(2 * std::log(natural_frequency * duration)));
    std::fflush(stdout);
    std::fputs("\n Press any key to exit.\n", stdout);
    std::fflush(stdout);
    return 0;
}
