#pragma once

// Workbook files on disk: holding one while a run has it open (FileHold.h),
// the names of the files beside it (FileNames.h) and replacing it all at once
// (AtomicSave.h). Reading one and the checks before saving are declared in
// Workbook.h.

#include "workbook/AtomicSave.h"
#include "workbook/FileHold.h"
#include "workbook/FileNames.h"
