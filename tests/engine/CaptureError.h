// Runs a callable that must raise an engine error and hands the error back for inspection.
#pragma once

#include "engine/wire/EngineError.h"

#include <gtest/gtest.h>

#include <optional>

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

} // namespace korvel::test
