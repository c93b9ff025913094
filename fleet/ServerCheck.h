// One look at one server of a profile: does it answer, does it let us in, what runs there and how busy it
// is. Made with an engine session of its own (never the window's), from the profile alone: a password only
// from the keyring, an SSH host key only from known_hosts. A check never asks anybody anything and never
// waits past its deadline, so a silent server costs its own row that long and nobody else anything.
#pragma once

#include "settings/Profiles.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvel
{
class CallInterrupt;
class TDataSession;
} // namespace korvel

namespace korvel::fleet
{

enum class ServerState
{
    NotChecked,
    Up,
    Refused,        // the connection was refused: nothing listens there
    NoAnswer,       // no answer by the deadline
    LoginRefused,   // the server refused the user name and password
    PasswordNeeded, // the profile keeps no password, or the keyring has none (SSH secrets likewise)
    HostKeyUnknown, // the SSH server's host key is not in known_hosts; never accepted by a check
    Failed          // anything else; Detail says what
};

struct ServerReport
{
    std::string Profile; // the profile's name, as stored
    ServerState State = ServerState::NotChecked;
    std::string Detail;         // the failure's own message; empty when up or not checked
    std::string Version;        // the engine version, when up
    std::int32_t Sessions = 0;  // when up
    std::int32_t Connected = 0; // connected sessions, when up
    double RoundTripMs = 0;     // when up: the time of one request and its reply
    std::chrono::milliseconds Deadline{0};
    std::chrono::system_clock::time_point CheckedAt{};
};

// "host:port" or "host:service", with " via BASTION" when the profile goes through an SSH server.
std::string WhereText(const settings::Profile& profile);
// "Up", "Down: refused", "No answer in 5 s", "Login refused", "Password needed", "Host key unknown",
// "Not checked", or "Down: " and the failure's message.
std::string StateText(const ServerReport& report);

struct CheckSettings
{
    std::chrono::milliseconds Deadline = std::chrono::seconds(5);
    // The profile's password; nothing when none is kept. Defaults to the keyring's entry of a profile that
    // keeps its password.
    std::function<std::optional<std::string>(const settings::Profile& profile)> Password;
    // Called on each new session before it connects; tests and benchmarks watch or reroute it through this.
    std::function<void(TDataSession& session)> PrepareSession;
};

// Checks the server of `profile` by its deadline; `cancel` (may be null) ends it early as NotChecked.
ServerReport CheckServer(const settings::Profile& profile, const CheckSettings& settings,
                         const std::shared_ptr<CallInterrupt>& cancel);

} // namespace korvel::fleet
