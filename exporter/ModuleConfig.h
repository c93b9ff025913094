// The exporter's configuration file: one INI section per module, each naming the credentials, the mode and
// the targets those credentials may be sent to. The protocol sends passwords in clear, so a probe of a
// target outside its module's list never connects.
//
//   [default]
//   user=monitor
//   password=...
//   mode=lan                      ; or internet (compressed)
//   targets=db1.example:12006, 10.0.0.*:12006, 10.1.0.0/16:*
//   ssh=monitor@bastion.example:22 ; optional: through this SSH server; targets as it sees them
//   ssh_identity=/etc/korvel-exporter/id_ed25519   ; the key file (no agent, nobody to ask a passphrase)
//   ssh_known_hosts=/etc/korvel-exporter/known_hosts ; its host key must be there: an unknown one is refused
#pragma once

#include "engine/ConnectionDescription.h"
#include "exporter/TargetPattern.h"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::exporter
{

// A configuration file that cannot be used; the message says why.
class ConfigError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::string_view DefaultModuleName = "default";

// Raised before a profile's login when no password can be had for it; the message says why.
class MissingPassword : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The connection profile a module stands for (korvel-exporter --profiles).
struct ProfileOrigin
{
    std::string Name;        // the profile's exact bytes
    std::string Description; // all of the profile's fields: a probe made before an edit is not used after it
    // The kept password, asked before each login, since the keyring may change meanwhile; raises
    // MissingPassword.
    std::function<std::string()> Password;
};

struct Module
{
    std::string Name;
    std::string User;
    std::string Password;
    // How its targets are reached: LAN or Internet, the SSH hop (not Enabled() for direct connections) and
    // the connect time-out. Where is each target's own, so the host, address, port and service stay empty.
    ConnectionDescription Route = {};
    std::vector<TargetPattern> TargetPatterns = {};
    std::optional<ProfileOrigin> Profile = {};

    bool AllowsTarget(const ConnectionDescription& target) const;
};

class ModuleConfig
{
public:
    ModuleConfig() = default;
    explicit ModuleConfig(std::vector<Module> modules) : modules_(std::move(modules)) {}

    // Reads the file. Raises ConfigError when it is missing, readable or writable by group or others, owned
    // by another user, or when a module lacks a user, names an unknown mode, lists a target that is not a
    // pattern or an ssh server that is not [USER@]HOST[:PORT].
    static ModuleConfig Load(const std::string& path);

    // The named module; an empty name means the default module. Null when there is none.
    const Module* Find(std::string_view name) const;
    const std::vector<Module>& Modules() const { return modules_; }

private:
    std::vector<Module> modules_;
};

} // namespace korvel::exporter
