// Passwords in the system keyring: the freedesktop Secret Service (the GNOME keyring, KWallet's or
// KeePassXC's Secret Service) reached through libsecret. An entry belongs to a profile or a server
// ("host:port") and a user name. No Qt: the window, the CLI and the exporter share it.
//
// The synchronous calls block until the service answers, including while it shows an unlock prompt: for the
// CLI. The asynchronous calls return at once and call back from the GLib main context of the calling thread,
// so a program whose event loop iterates that context (Qt's on Linux does) stays responsive meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvel::credentials
{

struct CredentialKey
{
    std::string Target; // "profile:NAME" or "HOST:PORT"
    std::string User;

    static CredentialKey ForProfile(const std::string& profileName, const std::string& user);
    static CredentialKey ForServer(const std::string& hostOrAddress, int port, const std::string& user);
    // An SSH key file's passphrase, and an SSH server's password for a user: each under a key of its own,
    // never a KORVEL server's.
    static CredentialKey ForSshKey(const std::string& keyFile);
    static CredentialKey ForSshServer(const std::string& server, const std::string& user);

    bool operator==(const CredentialKey&) const = default;
};

struct Availability
{
    bool Available = false;
    std::string Reason; // why not, in a sentence a user can act on; empty when available
};

// Whether a Secret Service can be reached on the D-Bus session bus, and if not, why. Asks the bus itself
// (quick); never starts a bus of its own.
Availability SecretServiceAvailability();

// "0.20.5": the libsecret this program was built with (the library has no call that tells its own).
std::string KeyringLibraryVersion();

// Raised by the synchronous calls when the keyring cannot be used or refuses; its message says why.
class KeyringError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Synchronous calls (the CLI).

// Stores or replaces the password in the default collection.
void StorePassword(const CredentialKey& key, const std::string& password);
// The stored password, or nothing when there is none.
std::optional<std::string> LookupPassword(const CredentialKey& key);
// As LookupPassword, but never unlocks anything: an entry in a locked collection counts as none, so no unlock
// prompt is shown (for checks running in the background, which must not ask anybody anything).
std::optional<std::string> LookupUnlockedPassword(const CredentialKey& key);
// False when there was nothing to delete.
bool DeletePassword(const CredentialKey& key);
// Moves the password kept under `from` to `to` (a renamed profile): stores it under `to`, then deletes
// `from`. False when nothing was kept under `from`. When the store fails the password stays under `from`
// and KeyringError says so; when only the deletion fails the password is kept under both.
bool MovePassword(const CredentialKey& from, const CredentialKey& to);

// Asynchronous calls (the window). Each callback runs once, from the calling thread's GLib main context;
// `error` is empty on success.
struct LookupResult
{
    std::optional<std::string> Password;
    std::string Error;
};
using LookupCallback = std::function<void(const LookupResult& result)>;
using DoneCallback = std::function<void(const std::string& error)>;
struct MoveResult
{
    bool Moved = false; // stored under the new key
    std::string Error;  // as MovePassword's KeyringError would say
};
using MoveCallback = std::function<void(const MoveResult& result)>;

// Lets a caller drop a pending request: the callback of a cancelled request is not called. A cancelled
// lookup is abandoned; a cancelled store or delete still finishes, so closing a window right after asking
// for a change does not lose it.
class PendingRequest
{
public:
    explicit PendingRequest(bool abandonOnCancel);
    ~PendingRequest(); // cancels
    PendingRequest(const PendingRequest&) = delete;
    PendingRequest& operator=(const PendingRequest&) = delete;
    void Cancel();
    struct State;
    std::shared_ptr<State> Shared() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

std::unique_ptr<PendingRequest> LookupPasswordAsync(const CredentialKey& key, LookupCallback done);
std::unique_ptr<PendingRequest> StorePasswordAsync(const CredentialKey& key, const std::string& password,
                                                   DoneCallback done);
std::unique_ptr<PendingRequest> DeletePasswordAsync(const CredentialKey& key, DoneCallback done);
// As MovePassword. A move runs to its end even when cancelled, so closing the window right after renaming a
// profile does not leave its password under the old name.
std::unique_ptr<PendingRequest> MovePasswordAsync(const CredentialKey& from, const CredentialKey& to,
                                                  MoveCallback done);

} // namespace korvel::credentials
