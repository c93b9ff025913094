// Every session test runs between CreateSessions and DestroySessions; remote sessions talk to a scripted peer
// and their trace lines are collected.
#pragma once

#include "testing/ScriptedPeer.h"

#include "engine/wire/RequestCodes.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvel::test
{

class SessionTest : public ::testing::Test
{
protected:
    void SetUp() override { CreateSessions(); }
    void TearDown() override
    {
        DestroySessions();
        SetRemoteLoginDialog(nullptr);
    }

    // A remote session pointed at the peer with complete credentials, tracing into `trace`.
    std::unique_ptr<TKORVELSession> RemoteSession(const std::string& name = "Remote")
    {
        auto session = std::make_unique<TKORVELSession>();
        session->SetSessionName(name);
        session->SetSessionType(stRemote);
        session->SetRemotePort(peer.Port());
        session->SetRemoteUser("admin");
        session->SetRemotePassword("secret");
        session->SetRemoteTrace(true);
        session->SetOnRemoteTrace([this](TKORVELSession&, const std::string& line)
                                  { trace.push_back(line); });
        return session;
    }

    // The codes the peer received after the first `skip` requests.
    std::vector<std::uint16_t> CodesAfter(std::size_t skip)
    {
        std::vector<std::uint16_t> codes = peer.RequestCodes();
        return std::vector<std::uint16_t>(
            codes.begin() + static_cast<std::ptrdiff_t>(std::min(skip, codes.size())), codes.end());
    }

    ScriptedPeer peer; // declared first: it outlives every session
    std::vector<std::string> trace;
};

} // namespace korvel::test
