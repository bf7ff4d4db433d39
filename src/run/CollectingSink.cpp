#include "run/CollectingSink.h"

#include <utility>

namespace vontralek {

std::string SampleName(const std::string* field, std::int64_t index) {
  if (field != nullptr && !field->empty()) return *field;
  return std::to_string(index + 1);
}

void CollectingSink::Prepare(SampleRow& row, const ModelState* solved) {
  const bool named = nameField_ >= 0 && static_cast<std::size_t>(nameField_) < row.fields.size();
  Kept kept{SampleName(named ? &row.fields[static_cast<std::size_t>(nameField_)] : nullptr, row.index),
            solved != nullptr ? std::optional<MajorIons>(MajorIonsOf(*solved)) : std::nullopt};
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    kept_.insert_or_assign(row.index, std::move(kept));
  }
  inner_.Prepare(row, solved);
}

void CollectingSink::Write(SampleRow& row) {
  inner_.Write(row);
  Kept kept;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = kept_.find(row.index);
    if (found == kept_.end()) return;
    kept = std::move(found->second);
    kept_.erase(found);
  }
  collector_.Collect(kept.name, kept.ions);
}

} // namespace vontralek
