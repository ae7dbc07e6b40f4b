#pragma once
// Running a program as a user would, and charging it the CPU time the
// kernel counted for it (user and system, from wait4): start-up included.
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct Child {
    double cpuSeconds = 0;
    int status = -1;  // exit status; -1 when it did not start or was killed
};

// Runs arguments[0] (looked up on PATH when it has no '/') with its standard
// output to outputPath, or with an empty path to a pipe this process drains
// as a reader would (the reader's time is not counted); standard error to
// errorPath.
Child run(const std::vector<std::string>& arguments, const std::string& outputPath,
          const std::string& errorPath = "/dev/null");

// The same with its standard input from a pipe this process writes `text`
// into a line at a time, pausing `pauseMicros` after every `linesPerPause`
// lines, as a receiver hands on what it decodes; output to outputPath.
// With no pause, the whole text as fast as it is read, as cat would.
Child runFedByLines(const std::vector<std::string>& arguments, std::string_view text, int linesPerPause, int pauseMicros,
                    const std::string& outputPath);

long countLines(const std::string& path);

// The middle of rounds run in turns: a burst of load falls on both sides
// of a ratio, and the median leaves out the odd round.
double median(std::vector<double> values);

}  // namespace bench
