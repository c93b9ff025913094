// Databases db0..db<N-1> on a server, with users user0..user<M-1> as database users of two in five of them,
// each with its own mix of rights: the matrix the rights and state benchmarks work on. The users must exist.
#pragma once

#include "session/KORVELSession.h"

#include <cstdint>
#include <string>

namespace korvel::bench
{

inline void SeedRights(TKORVELSession& session, int users, int databases)
{
    for (int d = 0; d < databases; ++d)
    {
        const std::string database = "db" + std::to_string(d);
        session.AddServerDatabase(database, "", "/data/" + database);
        for (int u = 0; u < users; ++u)
            if ((u + d) % 5 < 2)
                session.AddServerDatabaseUser(database, "user" + std::to_string(u),
                                              TUserRights::FromByte(static_cast<std::uint8_t>(u * 7 + d)));
    }
}

} // namespace korvel::bench
