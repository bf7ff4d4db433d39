#pragma once

// The run's whole interface for the programs (command line, window, Python):
// its errors, its summary and options, the run over an open workbook and the
// run of a workbook file. Each lives in the header named for it.
#include "run/RunCalculation.h"
#include "run/RunError.h"
#include "run/RunSummary.h"
#include "run/RunWorkbook.h"
#include "run/UserWorkbook.h"
