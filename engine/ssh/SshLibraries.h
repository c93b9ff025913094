// libssh, and the few functions of OpenSSL's libcrypto the engine uses itself, opened at the first SSH
// connection instead of at the program's start: most launches never reach a server through a bastion, and
// the two bring Kerberos and the rest with them. The engine calls their functions by their own names;
// LibsshLibrary.cpp and LibcryptoLibrary.cpp forward each call.
#pragma once

#include "platform/OnDemandLibrary.h"

#include <string>

namespace korvel
{

platform::OnDemandLibrary& Libssh();
platform::OnDemandLibrary& Libcrypto();

// Raises TunnelError naming `server` when either library cannot be opened, with the loader's reason.
void RequireSshLibraries(platform::OnDemandLibrary& ssh, platform::OnDemandLibrary& crypto,
                         const std::string& server);

} // namespace korvel
