#ifndef SETUP_RUN_H_
#define SETUP_RUN_H_

#include <istream>
#include <ostream>
#include <string>

// Holds one setup run: greets the user on `console_out`, asks for each faction
// whether a human plays it, reading the answers from `console_in`, and appends
// the complete events file for those answers to `events`.
void RunSetup(std::istream& console_in, std::ostream& console_out,
              std::string* events);

#endif  // SETUP_RUN_H_
