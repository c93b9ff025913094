// Runs a callable that must raise an engine error and hands the error back for inspection; and the first
// failure of a connect, login and request.
#pragma once

#include "engine/DataSession.h"
#include "engine/wire/EngineError.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace korvel::test
{

template <typename Callable> std::optional<EKORVELEngineError> CaptureEngineError(Callable&& callable)
{
    try
    {
        callable();
    }
    catch (const EKORVELEngineError& error)
    {
        return error;
    }
    ADD_FAILURE() << "no engine error was raised";
    return std::nullopt;
}

// The code of the engine error the callable raises, or 0 when it raises none.
template <typename Callable> ErrorCode EngineErrorCode(Callable&& callable)
{
    try
    {
        callable();
    }
    catch (const EKORVELEngineError& error)
    {
        return error.ErrorCode;
    }
    return 0;
}

// The message of the first failure of a connect, login and request; empty when they all go through.
inline std::string FailureOf(TDataSession& session)
{
    try
    {
        session.Connect();
        session.Login();
        session.GetUpTime();
    }
    catch (const std::exception& error)
    {
        return error.what();
    }
    return "";
}

} // namespace korvel::test
