#ifndef SCENARIO_UNIT_EVENTS_H_
#define SCENARIO_UNIT_EVENTS_H_

#include <string>
#include <string_view>

// The scenario's units belong to no city.
constexpr std::string_view kNoHomeCity = "NONE";

// Appends an event that creates a unit of no city on a random turn, one turn
// in `denominator`.
void WriteRandomTurnUnitEvent(std::string* out, int denominator,
                              std::string_view owner, std::string_view unit,
                              std::string_view veteran,
                              std::string_view location);

#endif  // SCENARIO_UNIT_EVENTS_H_
