#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "labdata/LabUnits.h"
#include "labdata/MolarMasses.h"
#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "run/TableParameters.h"
#include "table/Columns.h"

namespace vontralek {

// The conversion of one row's fields to the model's units, the same for a CSV
// line and a data-frame row: pH and pCO2 (atm) as given, the alkalinity to
// eq/L, the ions to mol/L through the laboratory-unit conversion. An empty ion
// field or "nd" counts as 0, so does an ion without a column (not measured); "<x" follows the detection-limit policy.
// The temperature: the fixed one of the settings, else the temperature_C column (°C; empty: none). With calcite
// saturation, the evaluation_temperature_C column (°C; empty: the run's, else the water's own). A value that cannot
// be used (a temperature outside 0 to 100 °C, or one without temperature data) gives the row its failure, naming place
// and column. The reactions' settings that cannot be used throw TableError.
class RowReader {
public:
  RowReader(const std::vector<std::string>& header, const table::InputColumns& columns, table::PairColumns pair,
            const RunSettings& settings, const TableParameters& parameters);
  // field(i): the text of header column i. place: "data.csv line 7".
  void Read(const std::function<std::string_view(int)>& field, SampleRow& row) const;

private:
  struct Needed {
    table::Quantity quantity;
    int column; // -1: no column (an ion not measured)
    int target; // 0 first, 1 second, n >= 3 ion row n
  };
  double Convert(const Needed& need, std::string_view text) const;
  void CheckReactions(const ReactionSettings& reactions, const table::InputColumns& columns);
  // A temperature field (°C; empty: none) into celsius; false with the row's failure.
  bool ReadTemperature(const std::function<std::string_view(int)>& field, SampleRow& row, int column, const char* what,
                       const char* empty, std::optional<double>& celsius) const;
  std::vector<std::string> header_;
  std::vector<Needed> needed_;
  table::ColumnUnit units_[table::QuantityCount];
  labdata::BelowLimitPolicy belowLimit_;
  labdata::MolarMasses masses_;
  std::array<double, 12> charges_{};
  table::PairColumns pair_;
  int temperatureColumn_ = -1; // -1: none read
  int evaluationColumn_ = -1;  // evaluation_temperature_C, read with calcite saturation
  std::optional<double> fixedTemperature_;
  bool temperatureData_ = false;
};

} // namespace vontralek
