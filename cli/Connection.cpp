#include "cli/Connection.h"
#include "cli/TraceJson.h"

#include "cli/Terminal.h"
#include "cli/UsageError.h"
#include "engine/EngineError.h"
#include "engine/wire/ErrorCodes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvel::cli
{

void AddGlobalOptions(CLI::App& app, GlobalOptions& options)
{
    app.add_option("--host", options.Host, "Server host name (takes precedence over --address)");
    app.add_option("--address", options.Address, "Server IPv4 address")->capture_default_str();
    app.add_option("--port", options.Port, "Administration port")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    app.add_option("--service", options.Service, "TCP service name (takes precedence over --port)");
    app.add_flag("--internet", options.Internet, "Internet mode (compressed); LAN otherwise");
    app.add_option("--user", options.User, "Administrator user name");
    app.add_option("--password", options.Password, "Password (else the KORVEL_PASSWORD variable)");
    app.add_option("--trace", options.TraceFile, "Append every trace line to FILE");
    app.add_option("--trace-format", options.TraceFormat,
                   "text: the trace lines; jsonl: one JSON object per request and reply")
        ->check(CLI::IsMember({"text", "jsonl"}))
        ->capture_default_str();
    app.add_flag("--json", options.Json, "Print JSON");
}

Connection::Connection(const GlobalOptions& options) : terminal_(Terminal::Open())
{
    std::string password = options.Password;
    if (password.empty())
        if (const char* fromEnvironment = std::getenv("KORVEL_PASSWORD"))
            password = fromEnvironment;
    if ((options.User.empty() || password.empty()) && !terminal_)
        throw UsageError("a user name and password are needed: give --user and --password (or set "
                         "KORVEL_PASSWORD) when there is no terminal to ask on");
    if (!options.TraceFile.empty())
    {
        trace_.open(options.TraceFile, std::ios::app);
        if (!trace_)
            throw std::runtime_error("Cannot open the trace file " + options.TraceFile + ": " +
                                     std::strerror(errno));
    }

    session_ = std::make_unique<TKORVELSession>();
    TKORVELSession& session = *session_;
    session.SetSessionName("Remote");
    session.SetSessionType(stRemote);
    session.SetRemoteType(options.Internet ? rtInternet : rtLAN);
    session.SetRemoteHost(options.Host);
    session.SetRemoteAddress(options.Address);
    session.SetRemotePort(options.Port);
    session.SetRemoteService(options.Service);
    session.SetRemoteUser(options.User);
    session.SetRemotePassword(password);
    session.SetRemoteTrace(trace_.is_open());
    if (trace_.is_open() && options.TraceFormat == "jsonl")
        session.OnRemoteTraceRecord = [this](TKORVELSession&, const TraceRecord& record) {
            trace_ << TraceRecordJson(record).dump() << '\n' << std::flush;
        };
    else if (trace_.is_open())
        session.OnRemoteTrace = [this](TKORVELSession&, const std::string& line) {
            trace_ << line << '\n' << std::flush;
        };
    session.OnRemoteLogin =
        [this](TKORVELSession& sender, std::string& userName, std::string& password, bool& continueLogin)
    { AskOnTerminal(sender, userName, password, continueLogin); };
}

Connection::~Connection() = default;

void Connection::Open()
{
    session_->SetActive(true);
}

void Connection::Close()
{
    session_->SetActive(false);
}

void Connection::AskOnTerminal(TKORVELSession& session, std::string& userName, std::string& password,
                               bool& continueLogin)
{
    // Without a terminal the credentials were complete, so being asked means the server rejected them: say so
    // rather than ending as a cancelled login.
    if (!terminal_)
        RaiseEngineError(KORVEL_REMOTEINVLOGIN,
                         session.DataSession() ? session.DataSession()->RemoteName() : "", userName);
    if (userName.empty())
    {
        std::optional<std::string> answer = terminal_->Ask("User name: ", false);
        if (!answer)
        {
            continueLogin = false;
            return;
        }
        userName = *answer;
    }
    std::optional<std::string> answer = terminal_->Ask("Password: ", true);
    if (!answer)
    {
        continueLogin = false;
        return;
    }
    password = *answer;
}

} // namespace korvel::cli
