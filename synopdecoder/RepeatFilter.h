#pragma once
// Remembers the reports passed on, so that the reports of a repeated
// bulletin are passed on once: also when a fade cost the repeat some of its
// groups, since such a copy tells nothing the first did not.
#include "synopdecoder/Report.h"

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace synop {

class RepeatFilter {
public:
    explicit RepeatFilter(size_t capacity) : capacity_(capacity) {}

    // True when the report was passed on before, whole or with more groups;
    // otherwise it is remembered as passed on.
    bool isRepeat(const AssembledReport& report);

private:
    size_t capacity_;
    std::unordered_set<std::string> seen_;
    std::unordered_map<std::string, std::string> byStation_;  // by form, date, station and heading: the last copy passed on
    std::deque<std::pair<std::string, std::string>> order_;  // whole key and station key, oldest first
};

}  // namespace synop
