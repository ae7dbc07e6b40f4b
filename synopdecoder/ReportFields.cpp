#include "synopdecoder/ReportFields.h"

#include "synopdecoder/ReportFieldsWalk.h"

namespace synop {

void writeReportFields(const DecodedReport& r, FieldSink& sink, const PlaceFields* placed)
{
    walkReportFields(r, sink, placed);
}

}  // namespace synop
