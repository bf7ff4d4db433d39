#pragma once

#include "common/Errors.h"

namespace vontralek {

// A table run that cannot start or had to stop: the message says what, where
// (file, line, column) and what to do.
class TableError : public VontralekError {
public:
  using VontralekError::VontralekError;
};

} // namespace vontralek
