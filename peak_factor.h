#ifndef TANDREL_PEAK_FACTOR_H
#define TANDREL_PEAK_FACTOR_H

// Expected largest response peak in multiples of sigma, sqrt(2 ln(fn T)),
// for a duration T in seconds and a natural frequency fn in hertz.
double peak_factor(double duration, double natural_frequency);

#endif
