#ifndef SETUP_DIALOGUE_H_
#define SETUP_DIALOGUE_H_

#include <istream>
#include <ostream>

#include "scenario/plan.h"

// Holds the setup dialogue: greets the user on `console_out`, asks for each
// faction whether a human plays it, reading the answers from `console_in`,
// and returns the answers.
ComputerPlayed AskWhoPlays(std::istream& console_in, std::ostream& console_out);

#endif  // SETUP_DIALOGUE_H_
