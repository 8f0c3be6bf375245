#ifndef EVENTFILE_BLOCKS_H_
#define EVENTFILE_BLOCKS_H_

#include <string>
#include <string_view>

// The blocks of the events language, one call each. The events file is
// built in memory, one block per call, and written out in one piece at the
// end of a run. Every call appends whole lines, each
// ended by CR LF whatever the system, and writes its values as given: no
// quoting, escaping, trimming or case change.

// Appends "@BEGINEVENTS".
void WriteBeginEvents(std::string* out);
// Appends "@ENDEVENTS".
void WriteEndEvents(std::string* out);
// Appends "@IF", which opens an event.
void WriteIf(std::string* out);
// Appends "@THEN", which ends the trigger block of an event.
void WriteThen(std::string* out);
// Appends "@ENDIF", which closes an event.
void WriteEndIf(std::string* out);
// Appends "@DEBUG".
void WriteDebug(std::string* out);

// Triggers: exactly one stands between "@IF" and "@THEN".

// Appends "Turn" and "turn=<turn>".
void WriteTurnTrigger(std::string* out, int turn);
// Appends "RandomTurn" and "denominator=<denominator>".
void WriteRandomTurnTrigger(std::string* out, int denominator);
// Appends "UnitKilled" and the unit=, attacker= and defender= lines.
void WriteUnitKilledTrigger(std::string* out, std::string_view unit,
                            std::string_view attacker,
                            std::string_view defender);
// Appends "Negotiation" and the talker=, talkertype=, listener= and
// listenertype= lines.
void WriteNegotiationTrigger(std::string* out, std::string_view talker,
                             std::string_view talker_type,
                             std::string_view listener,
                             std::string_view listener_type);
// Appends "NoSchism" and "defender=<defender>".
void WriteNoSchismTrigger(std::string* out, std::string_view defender);
// Appends "CityTaken" and the city=, attacker= and defender= lines.
void WriteCityTakenTrigger(std::string* out, std::string_view city,
                           std::string_view attacker,
                           std::string_view defender);
// Appends "ScenarioLoaded".
void WriteScenarioLoadedTrigger(std::string* out);
// Appends "JustOnce", which makes the event fire at most once.
void WriteJustOnce(std::string* out);

// Actions: any number stand between "@THEN" and "@ENDIF".

// Appends "Text", the message and "EndText"; each line feed in the message
// starts a new line.
void WriteText(std::string* out, std::string_view message);
// Appends "CreateUnit", the owner=, unit=, veteran= and homecity= lines, and
// the one location ("x,y") between "locations" and "endlocations".
void WriteCreateUnit(std::string* out, std::string_view owner,
                     std::string_view unit, std::string_view veteran,
                     std::string_view home_city, std::string_view location);
// Appends "PlayWaveFile" and the sound file name; each line feed in the name
// starts a new line.
void WritePlayWaveFile(std::string* out, std::string_view file_name);

#endif  // EVENTFILE_BLOCKS_H_
