#include "credentials/SecretLibrary.h"

#include <libsecret/secret.h>

namespace korvel::credentials
{

platform::OnDemandLibrary& SecretLibrary()
{
    // GIO's and GObject's functions are found through libsecret's handle: they are among its dependencies.
    static platform::OnDemandLibrary library("libsecret-1.so.0");
    return library;
}

} // namespace korvel::credentials

using korvel::credentials::SecretLibrary;

// GObject and GIO
KORVEL_FORWARD(SecretLibrary(), void, g_object_unref, (gpointer object), (object));
KORVEL_FORWARD(SecretLibrary(), GCancellable*, g_cancellable_new, (), ());
KORVEL_FORWARD(SecretLibrary(), void, g_cancellable_cancel, (GCancellable * cancellable), (cancellable));
KORVEL_FORWARD(SecretLibrary(), GDBusConnection*, g_bus_get_sync,
               (GBusType type, GCancellable* cancellable, GError** error), (type, cancellable, error));
KORVEL_FORWARD(SecretLibrary(), GVariant*, g_dbus_connection_call_sync,
               (GDBusConnection * connection, const gchar* busName, const gchar* objectPath,
                const gchar* interfaceName, const gchar* methodName, GVariant* parameters,
                const GVariantType* replyType, GDBusCallFlags flags, gint timeout, GCancellable* cancellable,
                GError** error),
               (connection, busName, objectPath, interfaceName, methodName, parameters, replyType, flags,
                timeout, cancellable, error));

// Passwords
KORVEL_FORWARD(SecretLibrary(), gchar*, secret_password_lookupv_sync,
               (const SecretSchema* schema, GHashTable* attributes, GCancellable* cancellable,
                GError** error),
               (schema, attributes, cancellable, error));
KORVEL_FORWARD(SecretLibrary(), gboolean, secret_password_storev_sync,
               (const SecretSchema* schema, GHashTable* attributes, const gchar* collection,
                const gchar* label, const gchar* password, GCancellable* cancellable, GError** error),
               (schema, attributes, collection, label, password, cancellable, error));
KORVEL_FORWARD(SecretLibrary(), gboolean, secret_password_clearv_sync,
               (const SecretSchema* schema, GHashTable* attributes, GCancellable* cancellable,
                GError** error),
               (schema, attributes, cancellable, error));
KORVEL_FORWARD(SecretLibrary(), void, secret_password_lookupv,
               (const SecretSchema* schema, GHashTable* attributes, GCancellable* cancellable,
                GAsyncReadyCallback callback, gpointer data),
               (schema, attributes, cancellable, callback, data));
KORVEL_FORWARD(SecretLibrary(), gchar*, secret_password_lookup_finish,
               (GAsyncResult * result, GError** error), (result, error));
KORVEL_FORWARD(SecretLibrary(), void, secret_password_storev,
               (const SecretSchema* schema, GHashTable* attributes, const gchar* collection,
                const gchar* label, const gchar* password, GCancellable* cancellable,
                GAsyncReadyCallback callback, gpointer data),
               (schema, attributes, collection, label, password, cancellable, callback, data));
KORVEL_FORWARD(SecretLibrary(), gboolean, secret_password_store_finish,
               (GAsyncResult * result, GError** error), (result, error));
KORVEL_FORWARD(SecretLibrary(), void, secret_password_clearv,
               (const SecretSchema* schema, GHashTable* attributes, GCancellable* cancellable,
                GAsyncReadyCallback callback, gpointer data),
               (schema, attributes, cancellable, callback, data));
KORVEL_FORWARD(SecretLibrary(), gboolean, secret_password_clear_finish,
               (GAsyncResult * result, GError** error), (result, error));
KORVEL_FORWARD(SecretLibrary(), void, secret_password_free, (gchar * password), (password));

// Items, for reading without unlocking
KORVEL_FORWARD(SecretLibrary(), GList*, secret_service_search_sync,
               (SecretService * service, const SecretSchema* schema, GHashTable* attributes,
                SecretSearchFlags flags, GCancellable* cancellable, GError** error),
               (service, schema, attributes, flags, cancellable, error));
KORVEL_FORWARD(SecretLibrary(), SecretValue*, secret_item_get_secret, (SecretItem * item), (item));
KORVEL_FORWARD(SecretLibrary(), const gchar*, secret_value_get_text, (SecretValue * value), (value));
KORVEL_FORWARD(SecretLibrary(), void, secret_value_unref, (gpointer value), (value));
