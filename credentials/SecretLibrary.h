// libsecret, and through it GIO and GObject, opened at the keyring's first use: most launches of the window
// never touch the keyring, and mapping these libraries was a large share of the time to its first paint.
// credentials/SecretLibrary.cpp defines each of their functions this program calls; GLib's own stay linked,
// as Qt loads GLib anyway.
#pragma once

#include "platform/OnDemandLibrary.h"

namespace korvel::credentials
{

platform::OnDemandLibrary& SecretLibrary();

} // namespace korvel::credentials
