#include "cli/Connection.h"
#include "cli/TraceJson.h"

#include "cli/Interrupt.h"
#include "cli/Names.h"
#include "cli/Terminal.h"
#include "cli/UsageError.h"
#include "credentials/SshSecret.h"
#include "engine/TunnelError.h"
#include "engine/wire/EngineError.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/Utf8.h"
#include "settings/Connection.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string.h>

namespace korvel::cli
{

namespace
{

// How long the logout after a signal or a failed call may take: the whole exit stays within two seconds.
constexpr auto LogoutTime = std::chrono::seconds(1);

// The server the options lead to, checked as the window checks it, and the SSH server on the way.
settings::Connection ServerOf(const GlobalOptions& options)
{
    settings::Connection server;
    try
    {
        server = settings::CheckedConnection(options.Server, std::to_string(options.Server.Port));
    }
    catch (const settings::ConnectionError& error)
    {
        throw UsageError(error.what());
    }
    if (options.SshTarget.empty())
        return server;
    const std::optional<SshSettings> parsed = ParseSshTarget(options.SshTarget);
    if (!parsed)
        throw UsageError("the SSH server '" + ShownName(options.SshTarget) + "' is not [USER@]HOST[:PORT]");
    server.Ssh = *parsed;
    server.Ssh.IdentityFile = options.SshIdentity;
    server.Ssh.AcceptNewHostKey = options.SshAcceptNewHostKey;
    return server;
}

} // namespace

CLI::Validator SshTargetCheck()
{
    return CLI::Validator([](const std::string& text)
                          { return ParseSshTarget(text) ? std::string() : "give [USER@]HOST[:PORT]"; },
                          "[USER@]HOST[:PORT]");
}

void AddGlobalOptions(CLI::App& app, GlobalOptions& options)
{
    app.add_option("--host", options.Server.Host, "Server host name (takes precedence over --address)");
    app.add_option("--address", options.Server.Address, "Server IPv4 address")->capture_default_str();
    app.add_option("--port", options.Server.Port, "Administration port (0: the one --service names)")
        ->capture_default_str();
    app.add_option("--service", options.Server.Service, "TCP service name (takes precedence over --port)");
    app.add_flag("--internet,!--lan", options.Server.Internet,
                 "Internet mode (compressed); --lan: LAN mode, whatever the profile says; LAN otherwise");
    app.add_option("--user", options.User, "Administrator user name")->check(NameCheck());
    app.add_option("--password", options.Password, "Password (else the KORVEL_PASSWORD variable)");
    app.add_option("--trace", options.TraceFile, "Append every trace line to FILE");
    app.add_option("--trace-format", options.TraceFormat,
                   "text: the trace lines; jsonl: one JSON object per request and reply")
        ->check(CLI::IsMember({"text", "jsonl"}))
        ->capture_default_str();
    app.add_option("--timeout", options.TimeoutSeconds,
                   "Give up on a server that has not answered an exchange (or the connect) within SECONDS")
        ->check(CLI::Validator(
            [](const std::string& text)
            {
                double seconds = 0;
                return CLI::detail::lexical_cast(text, seconds) && seconds > 0 && seconds <= 86400
                           ? std::string()
                           : "give a number of seconds above 0 (at most 86400)";
            },
            "SECONDS"));
    app.add_flag("--json", options.Json, "Print JSON");
    app.add_option("--ssh", options.SshTarget,
                   "Reach the server through the SSH server [USER@]HOST[:PORT] (HOST may be a ~/.ssh/config "
                   "alias); --host, --address and --port are then as that server sees them")
        ->check(SshTargetCheck());
    app.add_option("--ssh-identity", options.SshIdentity,
                   "Log in to the SSH server with this key file (after the agent's keys)");
    app.add_flag("--ssh-accept-new-host-key", options.SshAcceptNewHostKey,
                 "Trust an SSH server whose host key is not in known_hosts yet, and remember its key there");
}

Connection::Connection(const GlobalOptions& options)
    : timeoutSeconds_(options.TimeoutSeconds), acceptNewHostKey_(options.SshAcceptNewHostKey),
      terminal_(Terminal::Open()), keyringEntry_(options.KeyringEntry)
{
    const settings::Connection server = ServerOf(options);
    std::string password = options.Password;
    if (password.empty())
        if (const char* fromEnvironment = std::getenv("KORVEL_PASSWORD"))
            password = fromEnvironment;
    if (password.empty() && keyringEntry_)
    {
        // A keyring that fails is no reason to fail the command: the password is asked as without it.
        try
        {
            password = credentials::LookupPassword(*keyringEntry_).value_or("");
        }
        catch (const credentials::KeyringError& error)
        {
            std::cerr << "korvel-admin-cli: " << error.what() << '\n';
            keyringEntry_.reset();
        }
    }
    // A profile's user name is not checked by the option's own check: a longer one would be cut on the way.
    if (options.User.size() > MaxNameBytes)
        throw UsageError("the user name has " + std::to_string(options.User.size()) +
                         " bytes; a name has at most " + std::to_string(MaxNameBytes));
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
    session.SetConnection(server);
    session.SetRemoteUser(options.User);
    session.SetRemotePassword(password);
    // With neither a terminal nor a keyring nobody can answer: no secret is asked, an unknown host key is
    // refused.
    if (terminal_ || keyringEntry_)
        session.SetSshPrompt([this](const SshQuestion& question, std::string& answer)
                             { return AskForSsh(question, answer); });
    session.SetRemoteTrace(trace_.is_open());
    session.SetCallLimits({.Interrupt = SignalInterrupt(),
                           .TimeoutMs = static_cast<std::int32_t>(std::ceil(timeoutSeconds_ * 1000))});
    if (trace_.is_open() && options.TraceFormat == "jsonl")
        session.SetOnRemoteTraceRecord([this](TKORVELSession&, const TraceRecord& record)
                                       { WriteTrace(TraceRecordJson(record).dump()); });
    else if (trace_.is_open())
        session.SetOnRemoteTrace([this](TKORVELSession&, const std::string& line) { WriteTrace(line); });
    session.SetOnRemoteLogin(
        [this](TKORVELSession& sender, std::string& userName, std::string& password, bool& continueLogin)
        { AskOnTerminal(sender, userName, password, continueLogin); });
}

Connection::~Connection() = default;

void Connection::Open()
{
    try
    {
        session_->SetActive(true);
    }
    catch (const ETunnelError& error)
    {
        if (error.Kind != TunnelFailure::HostKeyUnknown || acceptNewHostKey_)
            throw;
        throw std::runtime_error(
            std::string(error.what()) +
            "; give --ssh-accept-new-host-key to trust it and remember it in known_hosts");
    }
    catch (const EAbort&)
    {
        // The prompt cancels the login instead of raising from inside it, so the engine closes the connection
        // that never logged in without a LOGOUT; the cancellation gets its reason back here.
        ThrowIfInterrupted();
        if (refusedBy_)
            RaiseEngineError(KORVEL_REMOTEINVLOGIN, *refusedBy_);
        throw;
    }
    // Kept only for the profile's own user: a different user typed at the prompt has no entry of its own.
    TDataSession* remote = session_->DataSession();
    if (keyringEntry_ && typedPassword_ && remote && remote->UserName() == keyringEntry_->User)
        OfferToKeyring();
    OfferSshSecretsToKeyring();
}

void Connection::OfferSshSecretsToKeyring()
{
    for (const TypedSecret& typed : typedSshSecrets_)
    {
        std::optional<std::string> answer =
            terminal_->Ask("Keep the " + typed.What + " in the keyring for the profile? [y/N] ", false);
        if (!answer || (*answer != "y" && *answer != "Y" && *answer != "yes"))
            continue;
        try
        {
            credentials::StorePassword(typed.Key, typed.Secret);
        }
        catch (const credentials::KeyringError& error)
        {
            std::cerr << "korvel-admin-cli: " << error.what() << '\n';
        }
    }
    typedSshSecrets_.clear();
}

Connection::TypedSecret::~TypedSecret()
{
    explicit_bzero(Secret.data(), Secret.size());
}

void Connection::OfferToKeyring()
{
    std::optional<std::string> answer =
        terminal_->Ask("Keep this password in the keyring for the profile? [y/N] ", false);
    if (!answer || (*answer != "y" && *answer != "Y" && *answer != "yes"))
        return;
    try
    {
        credentials::StorePassword(*keyringEntry_, *typedPassword_);
    }
    catch (const credentials::KeyringError& error)
    {
        std::cerr << "korvel-admin-cli: " << error.what() << '\n';
    }
}

void Connection::Close()
{
    if (ReceivedSignal())
        return CloseSoon();
    session_->SetActive(false);
}

void Connection::CloseSoon() noexcept
{
    if (!session_->Active())
        return;
    // A call cut short by our own deadline or signal left the server a session that it keeps: a fresh
    // connection tells it of the logout. A connection lost by a failed exchange gets nothing more.
    const bool cutShort = session_->LastInterruption() != Interruption::None;
    try
    {
        session_->SetCallLimits(
            {.Interrupt = FreshInterrupt(), .Deadline = std::chrono::steady_clock::now() + LogoutTime});
        TDataSession* remote = session_->DataSession();
        if (cutShort && remote && remote->LoggedIn() && !remote->Connected())
            remote->Reconnect();
    }
    catch (const std::exception&)
    {
        // The logout below then does nothing: there is no connection to send it on.
    }
    try
    {
        session_->SetActive(false);
    }
    catch (const std::exception&)
    {
    }
}

std::runtime_error Connection::TimeoutError(bool connecting) const
{
    std::string server = session_->RemoteHost().empty() ? session_->RemoteAddress() : session_->RemoteHost();
    server += session_->RemoteService().empty() ? " port " + std::to_string(session_->RemotePort())
                                                : " service " + session_->RemoteService();
    std::ostringstream seconds;
    seconds << timeoutSeconds_;
    if (session_->Ssh().Enabled())
        server += " through the SSH server " +
                  SshTargetText(session_->Ssh().User, session_->Ssh().Host, session_->Ssh().Port);
    return std::runtime_error((connecting ? "Could not connect to " : "No answer from ") + server +
                              " within " + seconds.str() + " seconds (--timeout)");
}

void Connection::WriteTrace(const std::string& line)
{
    trace_ << line << '\n' << std::flush;
}

bool Connection::AskForSsh(const SshQuestion& question, std::string& answer)
{
    if (question.What == SshQuestion::Kind::UnknownHostKey)
        return false; // refused, naming the fingerprint; --ssh-accept-new-host-key trusts it
    if (question.What == SshQuestion::Kind::HostKeyAdded)
    {
        std::cerr << "korvel-admin-cli: " << question.Text << '\n';
        return true;
    }
    const std::optional<credentials::SshSecret> secret = credentials::SshSecretOf(question);
    std::optional<credentials::CredentialKey> key;
    const std::string what = secret ? secret->What : std::string();
    if (secret)
        key = secret->Key;
    if (!keyringEntry_)
        key.reset(); // kept only where the profile keeps its secrets
    if (key && question.Attempt == 1)
    {
        try
        {
            if (std::optional<std::string> kept = credentials::LookupPassword(*key))
            {
                answer = std::move(*kept);
                return true;
            }
        }
        catch (const credentials::KeyringError& error)
        {
            std::cerr << "korvel-admin-cli: " << error.what() << '\n';
        }
    }
    if (!terminal_)
        throw TunnelError(TunnelFailure::AuthenticationRefused,
                          "The " + (what.empty() ? "answer to \"" + question.Text + "\"" : what) +
                              " is needed: none is kept in the keyring and there is no terminal to ask on");
    if (question.Attempt > 1)
        terminal_->Say(question.What == SshQuestion::Kind::Passphrase ? "Wrong passphrase, try again."
                                                                      : "Refused, try again.");
    if (!question.Instruction.empty())
        terminal_->Say(question.Instruction);
    std::optional<std::string> typed = terminal_->Ask(question.Text, !question.Echo);
    if (!typed)
        return false;
    answer = std::move(*typed);
    if (key)
    {
        std::erase_if(typedSshSecrets_, [&](const TypedSecret& earlier) { return earlier.Key == *key; });
        typedSshSecrets_.push_back({*key, answer, what});
    }
    return true;
}

void Connection::AskOnTerminal(TKORVELSession& session, std::string& userName, std::string& password,
                               bool& continueLogin)
{
    // Without a terminal the credentials were complete, so being asked means the server rejected them: say so
    // rather than ending as a cancelled login.
    if (!terminal_)
    {
        refusedBy_ = session.DataSession() ? session.DataSession()->RemoteName() : "";
        continueLogin = false;
        return;
    }
    try
    {
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
        typedPassword_ = password;
    }
    catch (const StoppedBySignal&)
    {
        continueLogin = false; // Open raises the interruption once the engine has closed the connection
    }
}

} // namespace korvel::cli
