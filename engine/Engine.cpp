#include "engine/Engine.h"

#include "engine/DataSession.h"
#include "engine/wire/ErrorCodes.h"

#include <memory>

namespace korvel
{
namespace
{

// Called from the session component under its session lock, so no lock of their own.
bool engineStarted = false;
// The engine's own remote session. Stopping destroys this one, never a session some component owns that
// happens to be current at that moment.
std::unique_ptr<TDataSession> engineSession;
TDataSession* currentDataSession = nullptr;

} // namespace

bool EngineStarted()
{
    return engineStarted;
}

void StartEngine()
{
    if (engineStarted)
        return;
    engineSession = std::make_unique<TDataSession>();
    currentDataSession = engineSession.get();
    engineStarted = true;
}

void StopEngine()
{
    if (!engineStarted)
        return;
    engineSession.reset();
    currentDataSession = nullptr;
    engineStarted = false;
}

TDataSession* GetCurrentDataSession()
{
    if (!engineStarted)
        RaiseEngineError(KORVEL_NOTINITIALIZED);
    return currentDataSession;
}

void SetCurrentDataSession(TDataSession* session)
{
    currentDataSession = session;
}

} // namespace korvel
