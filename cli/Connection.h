// The global options of korvel-admin-cli and how they become a logged-in session: connection settings,
// credentials (options, KORVEL_PASSWORD, or the terminal), and the trace file.
#pragma once

#include "session/KORVELSession.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace korvel::cli
{

class Terminal;

struct GlobalOptions
{
    std::string Host;
    std::string Address = "127.0.0.1";
    std::int32_t Port = 12006;
    std::string Service;
    bool Internet = false;
    std::string User;
    std::string Password;
    std::string TraceFile;
    std::string TraceFormat = "text"; // or "jsonl": one JSON object per trace record
    bool Json = false;
};

void AddGlobalOptions(CLI::App& app, GlobalOptions& options);

// Sets up a remote session from the options. Raises UsageError when credentials are missing and there is no
// terminal to ask on, before anything is sent. The password falls back to the KORVEL_PASSWORD variable.
class Connection
{
public:
    explicit Connection(const GlobalOptions& options);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    TKORVELSession& Session() { return *session_; }
    // Activates (connect and login); a rejected login is asked again on the terminal.
    void Open();
    // Deactivates (logout).
    void Close();

private:
    void AskOnTerminal(TKORVELSession& session, std::string& userName, std::string& password,
                       bool& continueLogin);

    std::unique_ptr<Terminal> terminal_;
    std::ofstream trace_;
    std::unique_ptr<TKORVELSession> session_;
};

} // namespace korvel::cli
