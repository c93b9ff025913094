// A trace record as one JSON object (a line of a --trace-format jsonl file), with the Trace Log table's
// fields.
#pragma once

#include "cli/Output.h"
#include "engine/DataSession.h"

namespace korvel::cli
{

Json TraceRecordJson(const TraceRecord& record);

} // namespace korvel::cli
