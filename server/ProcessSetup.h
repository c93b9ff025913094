// Process set-up shared by korvel-refserver and korvel-load.
#pragma once

#include <csignal>

namespace korvel::server
{

// SIGINT and SIGTERM: the signals that stop either program.
sigset_t StopSignals();
// Blocks the stop signals, so that they are waited for rather than delivered, and ignores SIGPIPE.
void BlockStopSignals();
// Many sessions need many descriptors: takes all that the hard limit allows, or `most` when that is less
// (0: no cap).
void RaiseFileLimit(long most = 0);
// Whatever umask the process was started with, what it creates is its owner's alone: the database holds every
// password.
void KeepCreatedFilesPrivate();

} // namespace korvel::server
