#pragma once
// pymetdecoder (pure Python, one message at a time) run as a child process
// beside pluvane-synop, for same-run rows in synop_cli_bench.
#include <string>

namespace bench {

// Finds pymetdecoder: in $PLUVANE_PYMETDECODER (a directory holding
// pymetdecoder/, put first on PYTHONPATH) or installed for python3. Sets
// up the environment the peer runs in; workDir takes its compiled modules.
bool findPymetdecoder(const std::string& workDir);

// The bench text as pymetdecoder takes it (one message a line, made from
// the assembler's reports) against pluvane-synop on the raw text in
// rawInput (JSON lines to a file, every report kept), in turns.
void benchTextRows(const std::string& tool, const std::string& rawInput, const std::string& stream,
                   const std::string& workDir);

// Real traffic already one report a line: both programs on the same file,
// in turns.
void realTrafficRows(const std::string& tool, const std::string& workDir);

}  // namespace bench
