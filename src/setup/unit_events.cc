#include "setup/unit_events.h"

#include "eventfile/event_writer.h"

void WriteNewUnit(std::string* out, const NewUnit& unit) {
  WriteCreateUnit(out, unit.owner, unit.type, unit.veteran, "NONE",
                  unit.location);
}

void WriteRandomTurnUnitEvent(std::string* out, int denominator,
                              const NewUnit& unit) {
  WriteIf(out);
  WriteRandomTurnTrigger(out, denominator);
  WriteThen(out);
  WriteNewUnit(out, unit);
  WriteEndIf(out);
}
