// The formula with nothing around it, compiled apart like peak_factor so
// that both are measured as calls.
#ifndef TANDREL_BENCH_PLAIN_FORMULA_H
#define TANDREL_BENCH_PLAIN_FORMULA_H

double plain_formula(double duration, double natural_frequency);

#endif
