// Sessions against a real korvel-refserver: LAN and Internet sessions used from several threads at once, and
// sessions that reach it through an OpenSSH bastion.
#include "engine/TunnelError.h"
#include "session/KORVELSession.h"
#include "session/SessionList.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <optional>
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

// Each session asks its own SSH prompt, whoever set another one on another session: one refuses the unknown
// host key, the next trusts it and logs in, and one without a prompt is refused without asking anybody.
TEST(SessionRefServer, EachSessionAsksItsOwnSshPrompt)
{
    RefServer server;
    TempDir home{"korvel-ssh-prompt"};
    const std::string key = home / "id_ed25519";
    GenerateKey(key);
    SshServerOptions bastionOptions;
    bastionOptions.AuthorizedKeys = {key + ".pub"};
    SshServer bastion(bastionOptions);
    SshSettings ssh;
    ssh.Host = "127.0.0.1";
    ssh.Port = bastion.Port();
    ssh.IdentityFile = key;
    ssh.KnownHostsFile = home / "known_hosts";
    ssh.UseAgent = false;
    std::ofstream(ssh.KnownHostsFile).close();

    CreateSessions();
    {
        std::vector<std::string> asked; // which session's prompt was asked about the host key
        auto makeSession = [&](const std::string& name, std::optional<bool> trust)
        {
            auto session = std::make_unique<TKORVELSession>();
            session->SetSessionName(name);
            session->SetSessionType(stRemote);
            session->SetConnection({.Address = "127.0.0.1", .Port = server.AdminPort(), .Ssh = ssh});
            session->SetRemoteUser(server.Options().AdminUser);
            session->SetRemotePassword(server.Options().AdminPassword);
            if (trust)
                session->SetSshPrompt(
                    [&asked, name, trust = *trust](const SshQuestion& question, std::string&)
                    {
                        if (question.What != SshQuestion::Kind::UnknownHostKey)
                            return true;
                        asked.push_back(name);
                        return trust;
                    });
            return session;
        };
        auto refusing = makeSession("Refusing", false);
        auto trusting = makeSession("Trusting", true);
        auto silent = makeSession("Silent", std::nullopt);

        EXPECT_THROW(refusing->SetActive(true), ETunnelError);
        trusting->SetActive(true);
        EXPECT_TRUE(trusting->Active());
        std::ofstream(ssh.KnownHostsFile).close(); // forgotten again: the next session meets it as unknown
        EXPECT_THROW(silent->SetActive(true), ETunnelError);
        EXPECT_EQ(asked, (std::vector<std::string>{"Refusing", "Trusting"}));
    }
    DestroySessions();
}

} // namespace
} // namespace korvel::test
