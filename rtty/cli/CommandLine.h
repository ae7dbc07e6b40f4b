#pragma once

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace pluvane_rtty {

// The centre frequencies the command line takes (the demodulator's own
// limits are in RttyParameters.h).
constexpr double kMinCentreHz = 300.0, kMaxCentreHz = 3000.0;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Walks the arguments: options with or without a value, then positionals.
class CommandLine {
public:
    CommandLine(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}

    bool done() const { return position_ >= arguments_.size(); }
    std::string next() { return done() ? std::string() : arguments_[position_++]; }

    std::string value(const std::string& option)
    {
        if (done())
            throw UsageError(option + " needs a value");
        return next();
    }

    double number(const std::string& option)
    {
        const std::string text = value(option);
        char* end = nullptr;
        const double result = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || result != result)
            throw UsageError(option + " needs a number, not '" + text + "'");
        return result;
    }

private:
    std::vector<std::string> arguments_;
    size_t position_ = 0;
};

}  // namespace pluvane_rtty
