// A session logged in to a reference server's administration port as its administrator, as tests, screenshots
// and benchmarks need one.
#pragma once

#include "session/KORVELSession.h"
#include "testing/RefServer.h"

#include <string>

namespace korvel::test
{

inline void LogInAsAdministrator(TKORVELSession& session, const RefServer& server, const std::string& name)
{
    session.SetSessionName(name);
    session.SetSessionType(stRemote);
    session.SetRemoteAddress("127.0.0.1");
    session.SetRemotePort(server.AdminPort());
    session.SetRemoteUser(server.Options().AdminUser);
    session.SetRemotePassword(server.Options().AdminPassword);
    session.SetActive(true);
}

} // namespace korvel::test
