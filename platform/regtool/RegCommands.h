#pragma once
// The verbs of the command-line registry tool, with the syntax of the
// Windows reg tool: query, add, delete, export, import.
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace regtool {

struct Console {
    QTextStream& out;
    QTextStream& err;
    // Asks a Yes/No question; false when there is no answer (no terminal).
    std::function<bool(const QString& question)> confirm;
};

// Runs one command line (without the program name); returns the exit code.
int runRegCommand(const QStringList& arguments, Console& console);

}  // namespace regtool
