#pragma once
// Decodes one assembled report: land stations (sections 0, 1 and 3; sections
// 4 and 5 kept as they came), ships (with section 2) and buoys (sections 0
// to 3; section 4 kept). A group that is garbled or cannot be true is dropped
// with a warning on the report and the rest is still decoded.
#include "synopdecoder/Report.h"

namespace synop {

struct DecoderOptions {
    bool plausibilityChecks = true;  // drop values that cannot be true, with a warning
    bool describeGroups = true;      // fill DecodedReport::groups, the group-by-group view
};

DecodedReport decodeReport(const AssembledReport& report, const DecoderOptions& options = {});
// The same, taking over the report's text and warnings instead of copying them.
DecodedReport decodeReport(AssembledReport&& report, const DecoderOptions& options = {});
// The same into a report the caller keeps from one call to the next: its
// strings and lists are used again, so that decoding a stream report after
// report allocates next to nothing once warm.
void decodeReport(const AssembledReport& report, DecodedReport& out, const DecoderOptions& options = {});

}  // namespace synop
