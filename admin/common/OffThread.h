// For work that is not a request of the window's session (a test connection with a session of its own): it
// runs on a thread of its own while the caller waits in a local event loop that paints but holds the person's
// clicks and keys back, as BackgroundRunner::Await does for the session's requests.
#pragma once

#include <functional>

namespace korvel::admin
{

// Runs `work` on a new thread and returns when it has ended; raises what it raised.
void RunOffThreadAndWait(const std::function<void()>& work);

// Runs `onUiThread` on the user-interface thread and waits for it: for a step of the work that asks the
// person (a login prompt).
void RunOnUiThread(const std::function<void()>& onUiThread);

} // namespace korvel::admin
