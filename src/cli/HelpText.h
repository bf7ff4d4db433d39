#pragma once

// The texts of --help around the options, whose own descriptions stand beside
// their definitions (CliOptions.cpp): what the program does, and after the
// options the settings block of a workbook and the exit statuses.

namespace vontralek::cli {

inline constexpr const char* kHelpDescription =
    "Speciates water analyses: the single sample of a VONTRALEK workbook's Main\n"
    "sheet (worksheet 1) or every sample row of its Batch sheet (worksheet 2),\n"
    "written back into the workbook; or every row of a table (CSV) whose header\n"
    "names each column with its unit, written to a new table; or the mixtures of\n"
    "two tables' waters (row i of A with row i of B, or each row of A with B's\n"
    "row NAME), each speciated, mixed by its totals and speciated again.\n"
    "\n"
    "  vontralek-cli [OPTIONS] [WORKBOOK]\n"
    "  vontralek-cli [OPTIONS] INPUT.csv [-o OUTPUT.csv]\n"
    "  vontralek-cli [OPTIONS] --csv - [-o OUTPUT.csv]\n"
    "  vontralek-cli mix [OPTIONS] A.csv B.csv --fraction F [--with NAME] [-o OUT.csv]\n";

inline constexpr const char* kInputHelp = "the workbook (.xlsx, .xlsm, .xls, .ods; default VONTRALEK.xls,\n"
                                          "else VONTRALEK.xlsx, in the program's folder; installed: your\n"
                                          "own copy in $XDG_DATA_HOME/vontralek/, else\n"
                                          "~/.local/share/vontralek/, made from the template), or the table\n"
                                          "(.csv; \"-\" with --csv: standard input)";

inline constexpr const char* kHelpFooter =
    "Choice words may be written in any letter case, with spaces, hyphens or\n"
    "underscores between their parts (--model ion_association, --pair pH).\n"
    "\n"
    "Workbook inputs are in mmol/L and meq/L unless worksheet 4 chooses other\n"
    "units (E27, E28); results in mmol/L. The settings block of worksheet 4\n"
    "(column E; an empty cell means the default, the first value listed):\n"
    "  E23 Model                  as specified | ion association\n"
    "  E24 Extra results          no | yes\n"
    "  E25 Below detection limit  stop | zero | half | limit  (a cell \"<x\" counts as\n"
    "                             an error, 0, x/2 or x)\n"
    "  E26 When a sample fails    stop | continue\n"
    "  E27 Ion unit               mmol/L | mg/L | meq/L\n"
    "  E28 Alkalinity unit        meq/L | mg/L as CaCO3 | mg/L as HCO3\n"
    "  E29 Temperature            empty (none: log K at 25 °C) | °C for every sample |\n"
    "                             per sample (Batch column CF, Main V5)\n"
    "  E30 Saturation indices     yes | no  (the phases of worksheet 3, A89 on)\n"
    "  E31 Water quality          yes | no  (hardness, dissolved solids, indices)\n"
    "  E32 Calcite saturation     no | yes  (pH and SI at the evaluation temperature,\n"
    "                             pHC, dissolution capacity, CCPP)\n"
    "  E33 Evaluation temperature empty (the sample's own) | °C for every sample |\n"
    "                             per sample (Batch column CG, Main W5)\n"
    "  E34 Equilibrium pCO2       empty (none) | atm (air: 0.000398)\n"
    "  B8:L8 molar masses in g/mol, needed for the mg/L units (CaCO3: F8 + L8;\n"
    "        nitrate reported as N: 14.007 in I8)\n"
    "\n"
    "Tables: the columns and units are listed in the README (\"Tables, Python and\n"
    "Dask\"); headers as laboratories write them (Ca (mg/L), Temp (°C),\n"
    "Alkalinity (mg/L as CaCO3)) are read too. An ion without a column is not\n"
    "measured (0). A table's model is ion association (default) unless --model\n"
    "says otherwise.\n"
    "\n"
    "mix: the mixture's inputs (sample \"A-name + B-name\", temperature_C,\n"
    "alkalinity_meq_L, DIC_mmol_L and the ions in mmol/L; the temperatures are\n"
    "weighted like the totals) and its results, in the table mode's columns; a\n"
    "table without a sample column is named by its file and line.\n"
    "\n"
    "Exit status: 0 success, 1 the run failed or, with --keep-going, a sample or\n"
    "row failed (the message names the cell, sample or line; results of earlier\n"
    "samples are saved), 2 a usage error, 130 or 143 stopped by Ctrl-C or SIGTERM\n"
    "(the samples calculated so far are saved).\n";

} // namespace vontralek::cli
