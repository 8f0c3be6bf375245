#include "scenario/unit_events.h"

#include "eventfile/blocks.h"

void WriteRandomTurnUnitEvent(std::string* out, int denominator,
                              std::string_view owner, std::string_view unit,
                              std::string_view veteran,
                              std::string_view location) {
  WriteIf(out);
  WriteRandomTurnTrigger(out, denominator);
  WriteThen(out);
  WriteCreateUnit(out, owner, unit, veteran, kNoHomeCity, location);
  WriteEndIf(out);
}
