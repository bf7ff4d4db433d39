#pragma once

#include <array>
#include <cassert>
#include <cstddef>

namespace vontralek {

// A fixed-size table addressed by 1-based row numbers, so that code reads
// exactly like the chemistry it implements: Species[5] is calcium, Constants[3]
// is the first dissociation constant of carbonic acid.
template <typename Record, int RowCount> class Table {
public:
  static constexpr int Rows = RowCount;

  Record& operator[](int row) {
    assert(row >= 1 && row <= RowCount);
    return rows_[static_cast<std::size_t>(row - 1)];
  }
  const Record& operator[](int row) const {
    assert(row >= 1 && row <= RowCount);
    return rows_[static_cast<std::size_t>(row - 1)];
  }

  bool operator==(const Table&) const = default;

private:
  std::array<Record, RowCount> rows_{};
};

} // namespace vontralek
