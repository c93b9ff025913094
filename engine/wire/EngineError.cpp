#include "engine/wire/EngineError.h"

#include "engine/wire/ErrorTable.h"
#include "engine/wire/Utf8.h"

#include <array>
#include <cerrno>
#include <mutex>

namespace korvel
{
namespace
{

constexpr std::string_view UnknownErrorText = "An unknown error occurred";
constexpr std::size_t MaxMessageText = 254;

// The values of the last raise. The constructor of EKORVELEngineError reads them back.
struct ErrorContext
{
    ErrorCode Code = 0;
    std::int32_t OSErrorCode = 0;
    std::int32_t SocketErrorCode = 0;
    std::array<std::string, ContextValueCount> Values;

    const std::string& Value(ContextValue which) const { return Values[static_cast<std::size_t>(which)]; }
};

// Re-entrant: a raise holds it from clearing the context until the exception is built, and the constructor
// takes it again for each value it reads.
std::recursive_mutex& ErrorContextLock()
{
    static std::recursive_mutex lock;
    return lock;
}

ErrorContext& EngineErrorContext()
{
    static ErrorContext context;
    return context;
}

std::string FormatText(const ErrorTableEntry& entry, const ErrorContext& context)
{
    std::string text;
    std::size_t argument = 0;
    std::string_view rest = entry.Text;
    for (auto placeholder = rest.find("%s"); placeholder != std::string_view::npos;
         placeholder = rest.find("%s"))
    {
        text.append(rest.substr(0, placeholder));
        text.append(context.Value(entry.Arguments[argument++]));
        rest.remove_prefix(placeholder + 2);
    }
    text.append(rest);
    return text;
}

std::string EngineErrorMessage(ErrorCode code)
{
    return "KORVEL Engine Error # " + std::to_string(code) + " " + ErrorMessageText(code);
}

} // namespace

void Abort()
{
    throw EAbort();
}

EKORVELEngineError::EKORVELEngineError(std::uint16_t code)
    : EDatabaseError(EngineErrorMessage(code)), ErrorCode(code)
{
    std::lock_guard guard(ErrorContextLock());
    const ErrorContext& context = EngineErrorContext();
    OSErrorCode = context.OSErrorCode;
    SocketErrorCode = context.SocketErrorCode;
    ErrorRemoteName = context.Value(ContextValue::Server);
    ErrorUserName = context.Value(ContextValue::User);
    ErrorDatabaseName = context.Value(ContextValue::Database);
    ErrorTableName = context.Value(ContextValue::Table);
    ErrorFieldName = context.Value(ContextValue::Field);
    ErrorIndexName = context.Value(ContextValue::Index);
    ErrorDetail = context.Value(ContextValue::Detail);
}

void RaiseEngineError(ErrorCode code, std::string_view server, std::string_view user,
                      std::string_view database, std::string_view table, std::string_view field,
                      std::string_view index, std::string_view detail)
{
    // On POSIX the socket calls report through errno as well.
    const std::int32_t lastError = errno;
    std::lock_guard guard(ErrorContextLock());
    ErrorContext& context = EngineErrorContext();
    context = ErrorContext{};
    context.Code = code;
    context.OSErrorCode = lastError;
    context.SocketErrorCode = lastError;
    const std::array<std::string_view, ContextValueCount> values{server, user,  database, table,
                                                                 field,  index, detail};
    for (std::size_t i = 0; i < ContextValueCount; ++i)
        context.Values[i] = CutUtf8(values[i]);
    throw EKORVELEngineError(code);
}

std::string ErrorMessageText(ErrorCode code)
{
    const ErrorTableEntry* entry = FindErrorEntry(code);
    if (entry == nullptr || entry->Text.empty())
        return std::string(UnknownErrorText);
    std::lock_guard guard(ErrorContextLock());
    const std::string text = FormatText(*entry, EngineErrorContext());
    return std::string(CutUtf8(text, MaxMessageText));
}

std::string_view ReplyCodeName(ErrorCode code)
{
    const ErrorTableEntry* entry = FindErrorEntry(code);
    return entry != nullptr ? entry->Name : std::string_view{};
}

} // namespace korvel
