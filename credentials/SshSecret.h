// Where a typed SSH secret is kept in the keyring, shared by the window and the CLI so that a secret kept by
// one is found by the other: a key file's passphrase under the file, an SSH password under server and user.
#pragma once

#include "credentials/Keyring.h"
#include "engine/SshSettings.h"

#include <optional>
#include <string>

namespace korvel::credentials
{

struct SshSecret
{
    CredentialKey Key;
    std::string What; // "passphrase of the key ~/.ssh/id_ed25519", for a question about keeping it
};

// Nothing for a question whose answer is never kept (a host key, a keyboard-interactive prompt).
std::optional<SshSecret> SshSecretOf(const SshQuestion& question);

} // namespace korvel::credentials
