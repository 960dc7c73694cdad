// The program's dialogue as it must appear, for the tests that run it.
#ifndef TANDREL_TESTS_DIALOGUE_H
#define TANDREL_TESTS_DIALOGUE_H

#include <string>

#include "credit.h"

const std::string dialogue_before_result = std::string("\n\n\n tandrel   ver 1.0  March 13, 2008 \n") +
                                           "\n by " + credit_author + "   Email: " + credit_contact +
                                           " \n" +
                                           "\n Rayleigh distribution for SDOF response. \n"
                                           "\n Enter the duration (sec) \n"
                                           "\n\n Enter the natural frequency (Hz) \n";
const std::string result_start = "\n\n Expected peak = ";
const std::string dialogue_after_result = " sigma\n\n Press any key to exit.\n";

inline std::string dialogue(const std::string& shown_peak) {
    return dialogue_before_result + result_start + shown_peak + dialogue_after_result;
}

#endif
