// korvel-load: opens K real main-port sessions through the engine's TDataSession and holds them, sending each
// session's SESSIONPARAMS every 30 seconds as a sign of life (which also re-connects a dropped one), then
// logs them out. For demos, load tests and benchmarks.
#include "engine/DataSession.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "server/ProcessSetup.h"

#include "KorvelVersion.h" // generated

#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{

using namespace korvel;

struct LoadOptions
{
    std::string Address = "127.0.0.1";
    int Port = 0;
    int Clients = 1;
    std::string User;
    std::string Password;
    bool Internet = false;
    int Seconds = 0;
};

constexpr auto SignOfLifePeriod = std::chrono::seconds{30};

std::unique_ptr<TDataSession> OpenSession(const LoadOptions& options)
{
    auto session = std::make_unique<TDataSession>();
    session->SetRemote(true);
    session->SetUncompressed(!options.Internet);
    session->SetAddress(options.Address);
    session->SetPort(options.Port);
    session->SetUserName(options.User);
    session->SetPassword(options.Password);
    session->Connect();
    // Nobody can be asked for other credentials: when the server refuses the given ones, the login is
    // cancelled (the engine closes the connection) and the refusal is reported instead of "Operation
    // aborted".
    bool refused = false;
    session->SetCredentialProvider(
        [&refused](std::string&, std::string&)
        {
            refused = true;
            return false;
        });
    try
    {
        session->Login();
    }
    catch (const EAbort&)
    {
        if (refused)
            RaiseEngineError(KORVEL_REMOTEINVLOGIN, session->RemoteName(), options.User);
        throw;
    }
    session->SetCredentialProvider(nullptr);
    session->SendSessionParams();
    return session;
}

// Waits for SIGINT or SIGTERM (blocked by the caller) at most `wait`; returns true when one came.
bool StopRequested(std::chrono::milliseconds wait)
{
    const sigset_t signals = server::StopSignals();
    timespec timeout{static_cast<time_t>(wait.count() / 1000),
                     static_cast<long>(wait.count() % 1000) * 1000000};
    return sigtimedwait(&signals, nullptr, &timeout) > 0;
}

void SignOfLife(std::vector<std::unique_ptr<TDataSession>>& sessions)
{
    int failed = 0;
    for (auto& session : sessions)
    {
        try
        {
            session->SendSessionParams();
        }
        catch (const std::exception&)
        {
            ++failed;
        }
    }
    if (failed > 0)
        std::fprintf(stderr, "korvel-load: %d sessions did not answer their sign of life\n", failed);
}

void Hold(std::vector<std::unique_ptr<TDataSession>>& sessions, int seconds)
{
    using Clock = std::chrono::steady_clock;
    auto end = seconds > 0 ? Clock::now() + std::chrono::seconds{seconds} : Clock::time_point::max();
    auto nextSignOfLife = Clock::now() + SignOfLifePeriod;
    for (;;)
    {
        auto now = Clock::now();
        if (now >= end)
            return;
        auto until = std::min(end, nextSignOfLife);
        if (StopRequested(std::chrono::duration_cast<std::chrono::milliseconds>(until - now)))
            return;
        if (Clock::now() >= nextSignOfLife)
        {
            SignOfLife(sessions);
            nextSignOfLife = Clock::now() + SignOfLifePeriod;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    LoadOptions options;
    CLI::App app{"korvel-load: opens and holds main-port sessions on a KORVEL server"};
    app.set_version_flag("--version", "korvel-load " KORVEL_VERSION, "Print the version and exit");
    app.add_option("--port", options.Port, "Main port of the server")
        ->required()
        ->check(CLI::Range(1, 65535));
    app.add_option("--address", options.Address, "IPv4 address of the server");
    app.add_option("--clients", options.Clients, "Number of sessions")->check(CLI::Range(1, 1000000));
    app.add_option("--user", options.User, "User name")->required();
    app.add_option("--password", options.Password, "Password")->required();
    app.add_flag("--internet", options.Internet, "Internet mode (compressed messages)");
    app.add_option("--seconds", options.Seconds, "How long to hold the sessions (0: until interrupted)")
        ->check(CLI::Range(0, 1000000000));
    CLI11_PARSE(app, argc, argv);

    server::BlockStopSignals();
    server::RaiseFileLimit();

    std::vector<std::unique_ptr<TDataSession>> sessions;
    sessions.reserve(static_cast<std::size_t>(options.Clients));
    for (int i = 0; i < options.Clients; ++i)
    {
        try
        {
            sessions.push_back(OpenSession(options));
        }
        catch (const std::exception& error)
        {
            std::fprintf(stderr, "korvel-load: session %d: %s\n", i + 1, error.what());
            break;
        }
    }
    std::printf("opened %zu sessions\n", sessions.size());
    std::fflush(stdout);
    if (sessions.empty())
        return 1;
    Hold(sessions, options.Seconds);
    for (auto& session : sessions)
    {
        try
        {
            session->Logout();
        }
        catch (const std::exception&)
        {
            // The server may be gone already; nothing is left to clean up on this side.
        }
    }
    std::printf("logged out %zu sessions\n", sessions.size());
    return static_cast<int>(sessions.size()) == options.Clients ? 0 : 1;
}
