#pragma once
// How the live chart and the log viewer show a log's channels: which of them are drawn.
// Plain code, any thread.
#include "logfiles/LogFile.h"
#include "logging/Units.h"

#include <string_view>

namespace tessek {

// Where the log has the manifold pressure on its linear scale (`linearMapLogged`: a Boost
// column), that one is drawn: the window's mixed scale ("psi/-inHg", psi above the
// barometric reading and inches of mercury below it) folds at 0 and would draw vacuum
// upside down, and the absolute pressure says the same as the boost. An older log keeps
// its mixed MAP drawn. Raw replies are not drawn at first either.
bool DrawnByDefault(std::string_view name, std::string_view unit, bool raw, bool linearMapLogged);

// Converts every channel whose unit has a counterpart in `units` (values and unit; raw
// columns and the time stay), so that a log of either system shows in the chosen one.
void ShowInUnits(LogData& log, UnitSystem units);

// A channel named Boost ("Boost", "Boost 2", ...).
bool IsLinearMap(std::string_view name);

}  // namespace tessek
