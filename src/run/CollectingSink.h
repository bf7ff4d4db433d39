#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "run/Pipeline.h"
#include "run/SampleCollector.h"

namespace vontralek {

// A sink that hands every row to the sink it wraps and then, in input order,
// the row's major ions to a collector. The ions are taken from the solved
// state where the row is prepared (a worker thread) and kept until its turn.
class CollectingSink : public ResultSink {
public:
  // nameField: the row's field holding the sample's name, -1 for none (the
  // row's number, from 1, names it).
  CollectingSink(ResultSink& inner, SampleCollector& collector, int nameField)
      : inner_(inner), collector_(collector), nameField_(nameField) {}
  void Prepare(SampleRow& row, const ModelState* solved) override;
  void Write(SampleRow& row) override;

private:
  struct Kept {
    std::string name;
    std::optional<MajorIons> ions;
  };
  ResultSink& inner_;
  SampleCollector& collector_;
  int nameField_;
  std::mutex mutex_;
  std::map<std::int64_t, Kept> kept_;
};

// A sample's name from the text of its name field: the text, or its number
// (from 1) when the field is empty or absent.
std::string SampleName(const std::string* field, std::int64_t index);

} // namespace vontralek
