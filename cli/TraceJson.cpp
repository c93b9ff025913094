#include "cli/TraceJson.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/RequestCodes.h"

#include <chrono>
#include <ctime>

namespace korvel::cli
{
namespace
{

// Local time with milliseconds, ISO 8601: 2026-12-09T05:58:01.123
std::string LocalTime(std::chrono::system_clock::time_point time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(ms % 1000));
    return text;
}

const char* Direction(TraceRecord::Kind kind)
{
    switch (kind)
    {
    case TraceRecord::Kind::Connection:
        return "connection";
    case TraceRecord::Kind::Request:
        return "request";
    case TraceRecord::Kind::Reply:
        return "reply";
    }
    return "";
}

} // namespace

Json TraceRecordJson(const TraceRecord& record)
{
    Json object{{"time", LocalTime(record.Time)}, {"direction", Direction(record.Direction)}};
    if (record.Direction == TraceRecord::Kind::Connection)
    {
        object["elapsed_ms"] = record.ElapsedMs;
        return object;
    }
    object["request"] = std::string(RequestCodeName(record.Code));
    object["wire_bytes"] = record.WireBytes;
    object["uncompressed_bytes"] = record.PlainBytes;
    if (record.Direction == TraceRecord::Kind::Reply)
    {
        object["reply_code"] = std::string(ReplyCodeName(record.ReplyCode));
        object["elapsed_ms"] = record.ElapsedMs;
    }
    return object;
}

} // namespace korvel::cli
