#include "eventfile/blocks.h"

#include <string>

namespace {

// The game wants CR LF on every system. The file is written in binary mode,
// so these bytes reach the disk untranslated; this is the only place that
// ends a line.
constexpr std::string_view kLineEnd = "\r\n";

// Appends text, turning each line feed in it into a line end, as a text-mode
// stream would on a CR LF system.
void AppendText(std::string* out, std::string_view text) {
  for (size_t lf; (lf = text.find('\n')) != std::string_view::npos;
       text.remove_prefix(lf + 1)) {
    out->append(text.substr(0, lf)).append(kLineEnd);
  }
  out->append(text);
}

void AppendLine(std::string* out, std::string_view text) {
  AppendText(out, text);
  out->append(kLineEnd);
}

// Appends "<key>=<value>"; the key is given with its equals sign.
void AppendParameter(std::string* out, std::string_view key,
                     std::string_view value) {
  out->append(key);
  AppendLine(out, value);
}

}  // namespace

void WriteBeginEvents(std::string* out) { AppendLine(out, "@BEGINEVENTS"); }

void WriteEndEvents(std::string* out) { AppendLine(out, "@ENDEVENTS"); }

void WriteIf(std::string* out) { AppendLine(out, "@IF"); }

void WriteThen(std::string* out) { AppendLine(out, "@THEN"); }

void WriteEndIf(std::string* out) { AppendLine(out, "@ENDIF"); }

void WriteDebug(std::string* out) { AppendLine(out, "@DEBUG"); }

void WriteTurnTrigger(std::string* out, int turn) {
  AppendLine(out, "Turn");
  AppendParameter(out, "turn=", std::to_string(turn));
}

void WriteRandomTurnTrigger(std::string* out, int denominator) {
  AppendLine(out, "RandomTurn");
  AppendParameter(out, "denominator=", std::to_string(denominator));
}

void WriteUnitKilledTrigger(std::string* out, std::string_view unit,
                            std::string_view attacker,
                            std::string_view defender) {
  AppendLine(out, "UnitKilled");
  AppendParameter(out, "unit=", unit);
  AppendParameter(out, "attacker=", attacker);
  AppendParameter(out, "defender=", defender);
}

void WriteNegotiationTrigger(std::string* out, std::string_view talker,
                             std::string_view talker_type,
                             std::string_view listener,
                             std::string_view listener_type) {
  AppendLine(out, "Negotiation");
  AppendParameter(out, "talker=", talker);
  AppendParameter(out, "talkertype=", talker_type);
  AppendParameter(out, "listener=", listener);
  AppendParameter(out, "listenertype=", listener_type);
}

void WriteNoSchismTrigger(std::string* out, std::string_view defender) {
  AppendLine(out, "NoSchism");
  AppendParameter(out, "defender=", defender);
}

void WriteCityTakenTrigger(std::string* out, std::string_view city,
                           std::string_view attacker,
                           std::string_view defender) {
  AppendLine(out, "CityTaken");
  AppendParameter(out, "city=", city);
  AppendParameter(out, "attacker=", attacker);
  AppendParameter(out, "defender=", defender);
}

void WriteScenarioLoadedTrigger(std::string* out) {
  AppendLine(out, "ScenarioLoaded");
}

void WriteJustOnce(std::string* out) { AppendLine(out, "JustOnce"); }

void WriteText(std::string* out, std::string_view message) {
  AppendLine(out, "Text");
  AppendLine(out, message);
  AppendLine(out, "EndText");
}

void WriteCreateUnit(std::string* out, std::string_view owner,
                     std::string_view unit, std::string_view veteran,
                     std::string_view home_city, std::string_view location) {
  AppendLine(out, "CreateUnit");
  AppendParameter(out, "owner=", owner);
  AppendParameter(out, "unit=", unit);
  AppendParameter(out, "veteran=", veteran);
  AppendParameter(out, "homecity=", home_city);
  AppendLine(out, "locations");
  AppendLine(out, location);
  AppendLine(out, "endlocations");
}

void WritePlayWaveFile(std::string* out, std::string_view file_name) {
  AppendLine(out, "PlayWaveFile");
  AppendLine(out, file_name);
}
