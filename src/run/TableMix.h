#pragma once

// Mixtures of the waters of two tables: each water speciated as the table
// mode reads it, the pair of waters mixed by their totals (alkalinity, DIC,
// the ions and the temperature, fraction-weighted: speciation/Mixing.h) and
// the mixture speciated again, written as a table whose inputs are the
// mixture's (alkalinity_meq_L, DIC_mmol_L, the ions in mmol/L) and whose
// results are the table mode's.

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "run/TableRun.h"

namespace vontralek {

struct MixRequest {
  double fraction = 0.5;           // the first table's share of every mixture, 0 to 1
  std::optional<std::string> with; // every row of the first with the second's row of this sample name
};

// The first table (from a, named aName in messages) mixed with the second,
// row i with row i (both need the same number of rows) or every row with the
// second's row request.with (found by its sample column), to out. A row that
// cannot be read or solved, in either table, gives its mixture that reason.
// Throws TableError for tables that cannot be paired and as RunTable does.
TableRunSummary RunMix(std::istream& a, const std::string& aName, std::istream& b, const std::string& bName,
                       const MixRequest& request, std::ostream& out, const TableOptions& options,
                       const TableParameters& parameters);

} // namespace vontralek
