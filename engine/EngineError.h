// The engine's errors live in the wire layer, which raises them too; the engine and its callers include them
// from here.
#pragma once

#include "engine/wire/EngineError.h"
