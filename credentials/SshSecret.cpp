#include "credentials/SshSecret.h"

namespace korvel::credentials
{

std::optional<SshSecret> SshSecretOf(const SshQuestion& question)
{
    if (question.What == SshQuestion::Kind::Passphrase)
        return SshSecret{CredentialKey::ForSshKey(question.KeyFile),
                         "passphrase of the key " + question.KeyFile};
    if (question.What == SshQuestion::Kind::Password)
        return SshSecret{CredentialKey::ForSshServer(question.Server, question.User),
                         "SSH password of " + question.User + " on " + question.Server};
    return std::nullopt;
}

} // namespace korvel::credentials
