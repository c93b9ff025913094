// The session addresses of the Status page's last complete refresh, kept for the lock-out preview before a
// configuration is saved: a walk under a minute old is used instead of asking the server about every session
// again (10,000 sessions are 10,000 requests).
#pragma once

#include "engine/wire/AdminTypes.h"

#include <QDateTime>

#include <optional>

namespace korvel::admin
{

class RecentSessionWalk
{
public:
    void Remember(StringList addresses, const QDateTime& when = QDateTime::currentDateTimeUtc())
    {
        addresses_ = std::move(addresses);
        when_ = when;
    }
    void Forget() { when_ = {}; }
    // The remembered addresses when they are under a minute old at `now`.
    std::optional<StringList> Fresh(const QDateTime& now = QDateTime::currentDateTimeUtc()) const
    {
        if (!when_.isValid() || when_ > now || when_.secsTo(now) >= 60)
            return std::nullopt;
        return addresses_;
    }

private:
    StringList addresses_;
    QDateTime when_;
};

} // namespace korvel::admin
