// The pool behind ResolveHostWithin (engine/Transport.h): host-name lookups that a caller can walk away from.
// getaddrinfo cannot be cancelled and may hang for the resolver's own time-outs, so lookups run on a small
// shared pool of threads: the caller waits for its answer within its limits and leaves when they end. The
// pool never grows past its cap however many lookups hang (a fleet of targets behind a silent DNS server),
// lookups of one name under way at once share one call, and a queued lookup nobody waits for any more is
// dropped without being made.
#pragma once

namespace korvel
{

// At most this many lookups run at once in the process; more wait their turn.
constexpr int MaxLookupThreads = 8;

// How many pool threads exist now: for tests and the exporter's own metrics.
int LookupThreadCount();

} // namespace korvel
