// Joins a fresh read of the server's log (follow) to the lines the list holds, on a thread of its own:
// finding where the new lines begin, and copying the held lines when the server's log was cut at its front,
// take time in proportion to the log, which the window must not wait for.
#pragma once

#include "admin/common/LocalWorker.h"
#include "engine/LogText.h"

#include <QString>

#include <functional>
#include <memory>

namespace korvel::admin
{

class LogJoin
{
public:
    struct Joined
    {
        std::shared_ptr<const LogText> Held; // what the read was joined to
        // The held lines followed by the new ones; empty when nothing is new. When the held lines were not
        // found in the read (the server's log was cut), the read alone.
        LogText Text;
        std::size_t Added = 0;
        bool Cut = false;
        QString Failure; // the joined text could not be made
    };
    // Called on the user-interface thread with each joined read, in the order of the reads.
    using Done = std::function<void(Joined& joined)>;

    explicit LogJoin(Done done);

    void Join(std::shared_ptr<const LogText> held, LogText latest);

private:
    Done done_;
    LocalWorker worker_; // last, so its thread has ended before the rest goes
};

} // namespace korvel::admin
