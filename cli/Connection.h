// The global options of korvel-admin-cli and how they become a logged-in session: connection settings,
// credentials (options, KORVEL_PASSWORD, the keyring, or the terminal), and the trace file.
#pragma once

#include "credentials/Keyring.h"
#include "session/KORVELSession.h"
#include "settings/Connection.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::cli
{

class Terminal;

struct GlobalOptions
{
    // The server and how to reach it; the SSH route comes from SshTarget and the options after it.
    settings::Connection Server{.Address = "127.0.0.1", .Port = settings::DefaultPort};
    std::string User;
    std::string Password;
    std::string TraceFile;
    std::string TraceFormat = "text"; // or "jsonl": one JSON object per trace record
    bool Json = false;
    double TimeoutSeconds = 0; // 0: no limit
    std::string Profile;
    std::string SshTarget; // [USER@]HOST[:PORT] of the SSH server to go through; empty: a direct connection
    std::string SshIdentity;
    bool SshAcceptNewHostKey = false;
    // Where the password is kept, when the profile keeps it and the keyring may be used.
    std::optional<credentials::CredentialKey> KeyringEntry;
};

void AddGlobalOptions(CLI::App& app, GlobalOptions& options);
// The check of an `--ssh [USER@]HOST[:PORT]` option.
CLI::Validator SshTargetCheck();

// Sets up a remote session from the options. Raises UsageError, before anything is sent, when the server
// options fail the check the window makes (settings::CheckedConnection), or when credentials are missing and
// there is no terminal to ask on. The password falls back to the KORVEL_PASSWORD variable.
class Connection
{
public:
    explicit Connection(const GlobalOptions& options);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    TKORVELSession& Session() { return *session_; }
    // Activates (connect and login); a rejected login is asked again on the terminal. Raises the server's
    // refusal when there is no terminal, StoppedBySignal on Ctrl-C or SIGTERM at the prompt. A password
    // typed there for a profile that keeps its password is offered to the keyring.
    void Open();
    // Deactivates (logout); after a signal as CloseSoon does.
    void Close();
    // Logs out within about a second, whatever happened before (a signal, a call cut off, a silent server),
    // so the program still ends promptly: on the live connection, or on a fresh one when our own deadline or
    // signal cut a call short; after a failed exchange nothing is sent. Failures are not reported: the
    // program is ending with the reason it already has.
    void CloseSoon() noexcept;
    // The failure to report for a call that ran out of time, naming the server.
    std::runtime_error TimeoutError(bool connecting) const;

private:
    void WriteTrace(const std::string& line);
    // The CLI's side of the SSH prompt: an unknown host key is refused; a passphrase or password comes from
    // the keyring when the profile keeps its secrets there, else from the terminal.
    bool AskForSsh(const SshQuestion& question, std::string& answer);
    // Offers the SSH secrets typed for a profile that keeps its secrets to the keyring, each under its own
    // key.
    void OfferSshSecretsToKeyring();
    void AskOnTerminal(TKORVELSession& session, std::string& userName, std::string& password,
                       bool& continueLogin);
    void OfferToKeyring();

    double timeoutSeconds_;
    bool acceptNewHostKey_;
    std::unique_ptr<Terminal> terminal_;
    std::ofstream trace_;
    std::unique_ptr<TKORVELSession> session_;
    // The server that refused the given credentials when nobody could be asked for others.
    std::optional<std::string> refusedBy_;
    std::optional<credentials::CredentialKey> keyringEntry_;
    std::optional<std::string> typedPassword_; // the last password typed on the terminal
    struct TypedSecret
    {
        credentials::CredentialKey Key;
        std::string Secret;
        std::string What; // "passphrase of the key FILE", ...
        ~TypedSecret();
    };
    std::vector<TypedSecret> typedSshSecrets_;
};

} // namespace korvel::cli
