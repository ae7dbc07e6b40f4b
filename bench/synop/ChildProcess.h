#pragma once
// Running a program as a user would, and charging it the CPU time the
// kernel counted for it (user and system, from wait4): start-up included.
#include <string>
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

long countLines(const std::string& path);

}  // namespace bench
