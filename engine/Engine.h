// Engine-wide state: whether the engine is started and which remote session is current.
#pragma once

namespace korvel
{

class TDataSession;

bool EngineStarted();
// Creates the engine's own remote session; does nothing when already started.
void StartEngine();
// Destroys the remote session CurrentDataSession refers to; does nothing when stopped.
void StopEngine();
// Raises engine error 10758 (KORVEL_NOTINITIALIZED) while the engine is stopped.
TDataSession* GetCurrentDataSession();
void SetCurrentDataSession(TDataSession* session);

} // namespace korvel
