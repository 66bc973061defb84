// Degenerate configurations of the operating points: DEGTST finds the type,
// DEGENE reports it and gives the value that stands in for the area.
#pragma once

#include <array>

#include "console/destinations.h"
#include "fit/cattab.h"

namespace quelbro {

using PointIndex = std::array<int, kMaxCategories + 2>;  // LPT, 1-based

void DEGTST(int& ideg, int ncat, const std::array<double, kMaxCategories + 2>& fpf,
            const std::array<double, kMaxCategories + 2>& tpf, int& nin, PointIndex& lpt);

// Writes the type's message to the screen and the report file; returns the
// area substitute, or -1.0 when no area exists.
double DEGENE(int ideg, const PointIndex& lpt, const std::array<double, kMaxCategories + 2>& fpf,
              const std::array<double, kMaxCategories + 2>& tpf, const Destinations& out);

}  // namespace quelbro
