// Test Connection: a connection and login made beside every session, to show that a description reaches a
// server and that the server lets the user in, without changing any session.
#pragma once

#include "engine/CallLimits.h"
#include "engine/ConnectionDescription.h"
#include "engine/DataSession.h"
#include "engine/SshSettings.h"

#include <string>

namespace korvel
{

struct ConnectionTestAnswer
{
    std::string ServerName;
    std::string UserName; // as the server let it in (the login prompt may have changed it)
};

// Whoever a test may ask: the SSH layer (`ssh`) and, when the server refuses the credentials given, the
// person for others (`login`). Either may be empty, and the test is then refused where it would ask.
struct ConnectionTestAsks
{
    SshAsk Ssh;
    CredentialProvider Login;
};

// Connects to the server `connection` names, logs in as `user`, reads the server's name and logs out, within
// `limits`. Raises what connecting or logging in raises.
ConnectionTestAnswer TestConnection(const ConnectionDescription& connection, const std::string& user,
                                    const std::string& password, const CallLimits& limits,
                                    ConnectionTestAsks asks);

} // namespace korvel
