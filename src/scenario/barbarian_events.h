#ifndef SCENARIO_BARBARIAN_EVENTS_H_
#define SCENARIO_BARBARIAN_EVENTS_H_

#include <string>

// Appends the barbarian events, the same in every run: barbarian units that
// appear where certain units are killed, and raids on random turns.
void WriteBarbarianEvents(std::string* out);

#endif  // SCENARIO_BARBARIAN_EVENTS_H_
