#ifndef SETUP_UNIT_EVENTS_H_
#define SETUP_UNIT_EVENTS_H_

#include <string>
#include <string_view>

// A unit that an event creates. Units the scenario creates belong to no city.
struct NewUnit {
  std::string_view owner;     // faction name
  std::string_view type;      // unit type name
  std::string_view veteran;   // "Yes" or "No"
  std::string_view location;  // "x,y"
};

// Appends the CreateUnit action for `unit`.
void WriteNewUnit(std::string* out, const NewUnit& unit);

// Appends an event that creates `unit` on a random turn, one turn in
// `denominator`.
void WriteRandomTurnUnitEvent(std::string* out, int denominator,
                              const NewUnit& unit);

#endif  // SETUP_UNIT_EVENTS_H_
