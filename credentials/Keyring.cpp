#include "credentials/Keyring.h"

#include "credentials/PasswordSchema.h"
#include "credentials/SecretLibrary.h"

#include <libsecret/secret.h>

#include <cstdlib>

namespace korvel::credentials
{

struct PendingRequest::State
{
    // None without the keyring's library: such a request only says that it is missing.
    GCancellable* Cancellable = SecretLibrary().Available() ? g_cancellable_new() : nullptr;
    bool AbandonOnCancel = true;
    bool Cancelled = false;
    ~State()
    {
        if (Cancellable)
            g_object_unref(Cancellable);
    }
};

namespace
{

constexpr const char* SecretsBusName = "org.freedesktop.secrets";

// Why the keyring cannot be used without its library: as a Secret Service that is not running would, with the
// loader's reason. No full stop: the synchronous calls' callers add to it.
std::string LibraryMissing()
{
    return "The keyring's library could not be loaded (" + SecretLibrary().Error() +
           "), so there is no Secret Service to keep passwords in";
}

// The synchronous calls raise KeyringError without the library, as they do when the service refuses.
void RequireLibrary()
{
    if (!SecretLibrary().Available())
        throw KeyringError(LibraryMissing());
}

// Runs `then` from the calling thread's GLib main context, where libsecret calls back: never from within the
// call that asked, whose caller may not be ready for the answer yet.
void RunSoon(std::function<void()> then)
{
    using Pending = std::function<void()>;
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer pending) -> gboolean
        {
            (*static_cast<Pending*>(pending))();
            return G_SOURCE_REMOVE;
        },
        new Pending(std::move(then)), [](gpointer pending) { delete static_cast<Pending*>(pending); });
    g_source_attach(source, g_main_context_get_thread_default());
    g_source_unref(source);
}

// The attributes of one entry. The table owns copies of the strings: an asynchronous call keeps a reference
// to it after the call returns.
struct Attributes
{
    explicit Attributes(const CredentialKey& key)
        : Table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free))
    {
        g_hash_table_insert(Table, g_strdup("target"), g_strdup(key.Target.c_str()));
        g_hash_table_insert(Table, g_strdup("user"), g_strdup(key.User.c_str()));
    }
    ~Attributes() { g_hash_table_unref(Table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    GHashTable* Table;
};

std::string Label(const CredentialKey& key)
{
    return "KORVEL Admin password for " + key.User + " on " + key.Target;
}

// Takes the error: its message, or "" when there was none.
std::string TakeError(GError* error)
{
    if (!error)
        return {};
    std::string message = error->message;
    g_error_free(error);
    return message;
}

void ThrowOn(GError* error, const char* what)
{
    if (error)
        throw KeyringError(std::string(what) + ": " + TakeError(error));
}

// The heap half of an asynchronous call: GLib always calls back, also after a cancellation, and the call
// back frees it.
template <typename Callback> struct Call
{
    std::shared_ptr<PendingRequest::State> State;
    Callback Done;
};

template <typename Callback>
std::pair<std::unique_ptr<PendingRequest>, Call<Callback>*> StartCall(Callback done, bool abandonOnCancel)
{
    auto request = std::make_unique<PendingRequest>(abandonOnCancel);
    auto* call = new Call<Callback>{request->Shared(), std::move(done)};
    return {std::move(request), call};
}

// Calls back, unless cancelled, and frees the call.
template <typename Callback, typename Result> void Finish(Call<Callback>* call, const Result& result)
{
    std::unique_ptr<Call<Callback>> last(call);
    if (!last->State->Cancelled)
        last->Done(result);
}

void StoreFinished(GObject*, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    secret_password_store_finish(result, &error);
    Finish(static_cast<Call<DoneCallback>*>(data), TakeError(error));
}

void ClearFinished(GObject*, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    secret_password_clear_finish(result, &error);
    Finish(static_cast<Call<DoneCallback>*>(data), TakeError(error));
}

void LookupFinished(GObject*, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    gchar* password = secret_password_lookup_finish(result, &error);
    LookupResult outcome;
    outcome.Error = TakeError(error);
    if (password)
    {
        outcome.Password = std::string(password);
        secret_password_free(password);
    }
    Finish(static_cast<Call<LookupCallback>*>(data), outcome);
}

// The synchronous store and delete: the service's error message, or "" on success.
std::string TryStore(const CredentialKey& key, const std::string& password)
{
    Attributes attributes(key);
    GError* error = nullptr;
    secret_password_storev_sync(PasswordSchema(), attributes.Table, SECRET_COLLECTION_DEFAULT,
                                Label(key).c_str(), password.c_str(), nullptr, &error);
    return TakeError(error);
}
std::string TryDelete(const CredentialKey& key, bool& deleted)
{
    Attributes attributes(key);
    GError* error = nullptr;
    deleted = secret_password_clearv_sync(PasswordSchema(), attributes.Table, nullptr, &error);
    return TakeError(error);
}

// The messages of a move that went wrong half-way: where the password is now.
std::string StoreForMoveFailed(const std::string& error)
{
    return "Cannot store the password under the new name, so it stays under the old one: " + error;
}
std::string DeleteForMoveFailed(const std::string& error)
{
    return "The password is stored under the new name, but the old entry could not be deleted: " + error;
}

// A move's steps (look up, store, delete) chained through their callbacks; the last one frees it.
struct MoveCall
{
    std::shared_ptr<PendingRequest::State> State;
    MoveCallback Done;
    CredentialKey From;
    CredentialKey To;

    void Finish(const MoveResult& result)
    {
        std::unique_ptr<MoveCall> last(this);
        if (!State->Cancelled)
            Done(result);
    }
};

void MoveDeleteFinished(GObject*, GAsyncResult* result, gpointer data)
{
    auto* call = static_cast<MoveCall*>(data);
    GError* error = nullptr;
    secret_password_clear_finish(result, &error);
    std::string message = TakeError(error);
    call->Finish({true, message.empty() ? message : DeleteForMoveFailed(message)});
}

void MoveStoreFinished(GObject*, GAsyncResult* result, gpointer data)
{
    auto* call = static_cast<MoveCall*>(data);
    GError* error = nullptr;
    secret_password_store_finish(result, &error);
    if (std::string message = TakeError(error); !message.empty())
        return call->Finish({false, StoreForMoveFailed(message)});
    Attributes attributes(call->From);
    secret_password_clearv(PasswordSchema(), attributes.Table, call->State->Cancellable, MoveDeleteFinished,
                           call);
}

void MoveLookupFinished(GObject*, GAsyncResult* result, gpointer data)
{
    auto* call = static_cast<MoveCall*>(data);
    GError* error = nullptr;
    gchar* password = secret_password_lookup_finish(result, &error);
    if (std::string message = TakeError(error); !message.empty())
        return call->Finish({false, "Cannot read the password from the keyring: " + message});
    if (!password || call->From == call->To)
    {
        bool found = password != nullptr;
        if (password)
            secret_password_free(password);
        return call->Finish({found, {}});
    }
    Attributes attributes(call->To);
    secret_password_storev(PasswordSchema(), attributes.Table, SECRET_COLLECTION_DEFAULT,
                           Label(call->To).c_str(), password, call->State->Cancellable, MoveStoreFinished,
                           call);
    secret_password_free(password);
}

} // namespace

CredentialKey CredentialKey::ForProfile(const std::string& profileName, const std::string& user)
{
    return {"profile:" + profileName, user};
}

CredentialKey CredentialKey::ForServer(const std::string& hostOrAddress, int port, const std::string& user)
{
    return {hostOrAddress + ":" + std::to_string(port), user};
}

CredentialKey CredentialKey::ForSshKey(const std::string& keyFile)
{
    return {"ssh-key:" + keyFile, ""};
}

CredentialKey CredentialKey::ForSshServer(const std::string& server, const std::string& user)
{
    return {"ssh:" + server, user};
}

std::string KeyringLibraryVersion()
{
    return std::to_string(SECRET_MAJOR_VERSION) + "." + std::to_string(SECRET_MINOR_VERSION) + "." +
           std::to_string(SECRET_MICRO_VERSION);
}

Availability SecretServiceAvailability()
{
    // Checked first: without it GLib would guess a bus or try to launch one.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address)
        return {false,
                "No D-Bus session bus is running (DBUS_SESSION_BUS_ADDRESS is not set), so there is no "
                "Secret Service to keep passwords in."};
    if (!SecretLibrary().Available())
        return {false, LibraryMissing() + "."};
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus)
        return {false, "The D-Bus session bus cannot be reached: " + TakeError(error)};
    auto askBus = [&](const char* method, GVariant* parameters) -> GVariant*
    {
        return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", method, parameters, nullptr,
                                           G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    };
    bool found = false;
    if (GVariant* owned = askBus("NameHasOwner", g_variant_new("(s)", SecretsBusName)))
    {
        gboolean hasOwner = FALSE;
        g_variant_get(owned, "(b)", &hasOwner);
        found = hasOwner;
        g_variant_unref(owned);
    }
    // A service the bus starts on demand counts as running.
    if (!found)
        if (GVariant* activatable = askBus("ListActivatableNames", nullptr))
        {
            GVariantIter* names = nullptr;
            g_variant_get(activatable, "(as)", &names);
            const gchar* name = nullptr;
            while (!found && g_variant_iter_next(names, "&s", &name))
                found = std::string(name) == SecretsBusName;
            g_variant_iter_free(names);
            g_variant_unref(activatable);
        }
    g_object_unref(bus);
    if (!found)
        return {false, "No Secret Service (such as the GNOME keyring or KeePassXC) is running on the D-Bus "
                       "session bus."};
    return {true, {}};
}

void StorePassword(const CredentialKey& key, const std::string& password)
{
    RequireLibrary();
    if (std::string error = TryStore(key, password); !error.empty())
        throw KeyringError("Cannot store the password in the keyring: " + error);
}

std::optional<std::string> LookupPassword(const CredentialKey& key)
{
    RequireLibrary();
    Attributes attributes(key);
    GError* error = nullptr;
    gchar* password = secret_password_lookupv_sync(PasswordSchema(), attributes.Table, nullptr, &error);
    ThrowOn(error, "Cannot read the password from the keyring");
    if (!password)
        return std::nullopt;
    std::string found = password;
    secret_password_free(password);
    return found;
}

std::optional<std::string> LookupUnlockedPassword(const CredentialKey& key)
{
    RequireLibrary();
    Attributes attributes(key);
    GError* error = nullptr;
    // Without SECRET_SEARCH_UNLOCK the search leaves locked items locked, their secrets unloaded.
    GList* items = secret_service_search_sync(nullptr, PasswordSchema(), attributes.Table,
                                              SECRET_SEARCH_LOAD_SECRETS, nullptr, &error);
    ThrowOn(error, "Cannot read the password from the keyring");
    std::optional<std::string> found;
    for (GList* item = items; item && !found; item = item->next)
        if (SecretValue* value = secret_item_get_secret(static_cast<SecretItem*>(item->data)))
        {
            if (const gchar* text = secret_value_get_text(value))
                found = text;
            secret_value_unref(value);
        }
    g_list_free_full(items, g_object_unref);
    return found;
}

bool DeletePassword(const CredentialKey& key)
{
    RequireLibrary();
    bool deleted = false;
    if (std::string error = TryDelete(key, deleted); !error.empty())
        throw KeyringError("Cannot delete the password from the keyring: " + error);
    return deleted;
}

bool MovePassword(const CredentialKey& from, const CredentialKey& to)
{
    std::optional<std::string> password = LookupPassword(from);
    if (!password || from == to)
        return password.has_value();
    if (std::string error = TryStore(to, *password); !error.empty())
        throw KeyringError(StoreForMoveFailed(error));
    bool deleted = false;
    if (std::string error = TryDelete(from, deleted); !error.empty())
        throw KeyringError(DeleteForMoveFailed(error));
    return true;
}

PendingRequest::PendingRequest(bool abandonOnCancel) : state_(std::make_shared<State>())
{
    state_->AbandonOnCancel = abandonOnCancel;
}

PendingRequest::~PendingRequest()
{
    Cancel();
}

void PendingRequest::Cancel()
{
    state_->Cancelled = true;
    if (state_->AbandonOnCancel && state_->Cancellable)
        g_cancellable_cancel(state_->Cancellable);
}

std::unique_ptr<PendingRequest> LookupPasswordAsync(const CredentialKey& key, LookupCallback done)
{
    auto [request, call] = StartCall(std::move(done), true);
    if (!SecretLibrary().Available())
    {
        RunSoon([call = call, error = LibraryMissing()] { Finish(call, LookupResult{std::nullopt, error}); });
        return std::move(request);
    }
    Attributes attributes(key);
    secret_password_lookupv(PasswordSchema(), attributes.Table, call->State->Cancellable, LookupFinished,
                            call);
    return std::move(request);
}

std::unique_ptr<PendingRequest> StorePasswordAsync(const CredentialKey& key, const std::string& password,
                                                   DoneCallback done)
{
    auto [request, call] = StartCall(std::move(done), false);
    if (!SecretLibrary().Available())
    {
        RunSoon([call = call, error = LibraryMissing()] { Finish(call, error); });
        return std::move(request);
    }
    Attributes attributes(key);
    secret_password_storev(PasswordSchema(), attributes.Table, SECRET_COLLECTION_DEFAULT, Label(key).c_str(),
                           password.c_str(), call->State->Cancellable, StoreFinished, call);
    return std::move(request);
}

std::unique_ptr<PendingRequest> DeletePasswordAsync(const CredentialKey& key, DoneCallback done)
{
    auto [request, call] = StartCall(std::move(done), false);
    if (!SecretLibrary().Available())
    {
        RunSoon([call = call, error = LibraryMissing()] { Finish(call, error); });
        return std::move(request);
    }
    Attributes attributes(key);
    secret_password_clearv(PasswordSchema(), attributes.Table, call->State->Cancellable, ClearFinished, call);
    return std::move(request);
}

std::unique_ptr<PendingRequest> MovePasswordAsync(const CredentialKey& from, const CredentialKey& to,
                                                  MoveCallback done)
{
    auto request = std::make_unique<PendingRequest>(false);
    auto* call = new MoveCall{request->Shared(), std::move(done), from, to};
    if (!SecretLibrary().Available())
    {
        RunSoon([call, error = LibraryMissing()] { call->Finish({false, error}); });
        return request;
    }
    Attributes attributes(from);
    secret_password_lookupv(PasswordSchema(), attributes.Table, call->State->Cancellable, MoveLookupFinished,
                            call);
    return request;
}

} // namespace korvel::credentials
