// A remote session pointed at a scripted peer, with its trace lines collected.
#pragma once

#include "testing/ScriptedPeer.h"

#include "engine/DataSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel::test
{

class SessionFixture : public ::testing::Test
{
protected:
    void PointAtPeer(TDataSession& target)
    {
        target.SetRemote(true);
        target.SetAddress("127.0.0.1");
        target.SetPort(peer.Port());
    }

    void TraceInto(TDataSession& target)
    {
        target.SetTrace(true);
        target.SetTraceSink([this](const std::string& line) { trace.push_back(line); });
    }

    // Connected and logged in with complete credentials.
    void LogIn(TDataSession& target)
    {
        PointAtPeer(target);
        target.SetUserName("admin");
        target.SetPassword("secret");
        target.Connect();
        target.Login();
    }

    // The requests after the CONNECTPARAMS and LOGIN of LogIn.
    std::vector<ReceivedRequest> RequestsAfterLogin()
    {
        auto requests = peer.Requests();
        return std::vector<ReceivedRequest>(requests.begin() + 2, requests.end());
    }

    ScriptedPeer peer; // declared first: it outlives the session
    TDataSession session;
    std::vector<std::string> trace;
};

} // namespace korvel::test
