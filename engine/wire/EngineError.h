// Errors of the engine and its wire layer: the general database error, the silent cancellation and the engine
// error with its process-wide context. The reference server raises them through the wire layer as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvel
{

using ErrorCode = std::uint16_t;

// The general database error. Engine errors derive from it; the session component raises it directly with a
// fixed text when it is misused.
class EDatabaseError : public std::runtime_error
{
public:
    explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
    int HelpContext() const { return 0; }
};

// The silent cancellation: it unwinds like any failure, but the application-wide error handler shows nothing.
class EAbort : public std::runtime_error
{
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};

[[noreturn]] void Abort();

// Each value of the engine error context, in the order RaiseEngineError takes them.
enum class ContextValue
{
    Server,
    User,
    Database,
    Table,
    Field,
    Index,
    Detail
};
constexpr std::size_t ContextValueCount = static_cast<std::size_t>(ContextValue::Detail) + 1;

// The engine's exception. Its constructor takes the code only and reads everything else from the process-wide
// error context that RaiseEngineError has just filled.
class EKORVELEngineError : public EDatabaseError
{
public:
    explicit EKORVELEngineError(std::uint16_t code);

    std::uint16_t ErrorCode = 0;
    std::int32_t OSErrorCode = 0;
    std::int32_t SocketErrorCode = 0;
    std::string ErrorRemoteName;
    std::string ErrorUserName;
    std::string ErrorDatabaseName;
    std::string ErrorTableName;
    std::string ErrorFieldName;
    std::string ErrorIndexName;
    std::string ErrorDetail;
};

// The one way the engine layer raises its errors. Each context string is cut to 255 bytes on a character
// boundary. The raise is atomic for concurrent callers: the context lock is held from clearing the context
// until the exception has been constructed.
[[noreturn]] void RaiseEngineError(ErrorCode code, std::string_view server = {}, std::string_view user = {},
                                   std::string_view database = {}, std::string_view table = {},
                                   std::string_view field = {}, std::string_view index = {},
                                   std::string_view detail = {});

// The message text of a code, formatted with the current context values, at most 254 bytes.
std::string ErrorMessageText(ErrorCode code);

// "KORVEL_NONE" for 0, the KORVEL_* name of every code in the table, empty for any other code.
std::string_view ReplyCodeName(ErrorCode code);

} // namespace korvel
