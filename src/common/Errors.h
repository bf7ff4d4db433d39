#pragma once

#include <stdexcept>
#include <string>

namespace vontralek {

// Every failure that reaches the user is one of these: the message says what
// went wrong, where (worksheet, cell, sample row) and what the user can do.
class VontralekError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A floating-point fault (division by zero, overflow, invalid operation) while
// speciating a sample.
class ArithmeticFault : public VontralekError {
public:
  using VontralekError::VontralekError;
};

// A sample the model cannot speciate although no arithmetic faulted: the
// iteration did not converge, or the inputs are impossible together (a
// negative pCO2, H+ or free concentration). The message gives the reason.
class SampleFailure : public VontralekError {
public:
  using VontralekError::VontralekError;
};

// A workbook that cannot be opened, read or saved, or lacks a worksheet.
class WorkbookError : public VontralekError {
public:
  using VontralekError::VontralekError;
};

// A cell whose value cannot be converted to a number.
class TypeMismatchError : public WorkbookError {
public:
  using WorkbookError::WorkbookError;
};

} // namespace vontralek
