// A keyring that refuses new entries: the default collection locked (no unlock prompt can be shown to a test,
// so storing into it fails at once), with an entry kept in the session collection, which stays readable. The
// collection stays locked for the rest of the process, so the tests that use this run on a Secret Service of
// their own (see the ctest entries), and link libsecret, which the keyring itself opens only at its first
// use.
#pragma once

#include "credentials/Keyring.h"

// GLib names a struct member `signals`, which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")
#include "credentials/PasswordSchema.h" // its libsecret is the one included above

#include <string>

namespace korvel::test
{

// Keeps `password` under `key` in the session collection; "" on success, else why not.
inline std::string StoreInSessionCollection(const credentials::CredentialKey& key,
                                            const std::string& password)
{
    GError* error = nullptr;
    secret_password_store_sync(credentials::PasswordSchema(), SECRET_COLLECTION_SESSION, "test entry",
                               password.c_str(), nullptr, &error, "target", key.Target.c_str(), "user",
                               key.User.c_str(), nullptr);
    std::string message = error ? error->message : "";
    if (error)
        g_error_free(error);
    return message;
}

// Locks the default collection; "" on success, else why not.
inline std::string LockDefaultCollection()
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    SecretCollection* collection =
        service ? secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE,
                                                   nullptr, &error)
                : nullptr;
    if (collection)
    {
        GList* objects = g_list_append(nullptr, collection);
        secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
        g_list_free(objects);
        g_object_unref(collection);
    }
    else if (!error)
        return "no default collection";
    if (service)
        g_object_unref(service);
    std::string message = error ? error->message : "";
    if (error)
        g_error_free(error);
    return message;
}

} // namespace korvel::test
