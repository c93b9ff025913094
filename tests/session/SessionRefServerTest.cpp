// Sessions against a real korvel-refserver: LAN and Internet sessions used from several threads at once.
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "testing/RefServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace korvel::test
{
namespace
{

TEST(SessionRefServer, LanAndInternetSessionsWorkSideBySideFromSeveralThreads)
{
    RefServer server;
    CreateSessions();
    {
        auto makeSession = [&](const std::string& name, TRemoteType type)
        {
            auto session = std::make_unique<TKORVELSession>();
            session->SetSessionName(name);
            session->SetSessionType(stRemote);
            session->SetRemoteType(type);
            session->SetRemotePort(server.AdminPort());
            session->SetRemoteUser(server.Options().AdminUser);
            session->SetRemotePassword(server.Options().AdminPassword);
            return session;
        };
        auto lan = makeSession("Lan", rtLAN);
        auto internet = makeSession("Internet", rtInternet);
        lan->AddServerDatabase("sales", "Sales", "/data/sales");
        lan->AddServerUser("bob", "pw", "", false);

        // Each thread changes the rights of bob and reads them back; every read sees a value some thread
        // wrote.
        const std::vector<TUserRights> written = {{urRead, urUpdate}, {urInsert, urDrop}, {urAlter}};
        internet->AddServerDatabaseUser("sales", "bob", written[0]);
        std::vector<std::thread> threads;
        std::atomic<int> unexpected = 0;
        for (std::size_t t = 0; t < 4; ++t)
            threads.emplace_back(
                [&, t]
                {
                    TKORVELSession& session = t % 2 ? *internet : *lan;
                    for (int i = 0; i < 10; ++i)
                    {
                        session.ModifyServerDatabaseUser("sales", "bob", written[(t + i) % written.size()]);
                        TUserRights read;
                        session.GetServerDatabaseUser("sales", "bob", read);
                        unexpected += std::find(written.begin(), written.end(), read) == written.end();
                    }
                });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(unexpected, 0);

        StringList names{"stale"};
        internet->GetServerDatabaseUserNames("sales", names);
        EXPECT_EQ(names, StringList{"bob"});
        std::string version;
        internet->GetServerEngineVersion(version);
        EXPECT_EQ(version, "3.21");
        lan->Close();
        EXPECT_TRUE(internet->Active());
        EXPECT_TRUE(DefaultSession()->Active());
    }
    DestroySessions();
}

} // namespace
} // namespace korvel::test
