#pragma once
// pymetdecoder (pure Python, one message at a time) run as a child process
// beside pluvane-synop, for same-run rows in synop_cli_bench.
#include <string>

namespace bench {

// Finds pymetdecoder: in $PLUVANE_PYMETDECODER (a directory holding
// pymetdecoder/, put first on PYTHONPATH) or installed for python3.
bool findPymetdecoder();

// The bench text as pymetdecoder takes it (one message a line, made from
// the assembler's reports) decoded by it, best of two runs, against
// pluvane-synop's rate on the raw text (JSON lines to a file, reports per
// CPU second).
void benchTextRows(const std::string& stream, const std::string& workDir, double toolRate);

// Real traffic already one report a line: both programs on the same file.
void realTrafficRows(const std::string& tool, const std::string& workDir);

}  // namespace bench
