// Who the program names in its credit line.
#ifndef TANDREL_CREDIT_H
#define TANDREL_CREDIT_H

constexpr char credit_author[] = "the tandrel project";
constexpr char credit_contact[] = "tandrel@example.org";

#endif
