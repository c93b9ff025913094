// The libssh functions the engine and the About box call, each forwarded to libssh once it is opened.
#include "engine/ssh/SshLibraries.h"

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>

namespace korvel
{

platform::OnDemandLibrary& Libssh()
{
    static platform::OnDemandLibrary library("libssh.so.4");
    return library;
}

} // namespace korvel

using korvel::Libssh;

KORVEL_FORWARD(Libssh(), int, ssh_blocking_flush, (ssh_session session, int timeout), (session, timeout));
KORVEL_FORWARD(Libssh(), int, ssh_channel_close, (ssh_channel channel), (channel));
KORVEL_FORWARD(Libssh(), void, ssh_channel_free, (ssh_channel channel), (channel));
KORVEL_FORWARD(Libssh(), int, ssh_channel_is_closed, (ssh_channel channel), (channel));
KORVEL_FORWARD(Libssh(), int, ssh_channel_is_eof, (ssh_channel channel), (channel));
KORVEL_FORWARD(Libssh(), ssh_channel, ssh_channel_new, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), int, ssh_channel_open_forward,
               (ssh_channel channel, const char* remotehost, int remoteport, const char* sourcehost,
                int localport),
               (channel, remotehost, remoteport, sourcehost, localport));
KORVEL_FORWARD(Libssh(), int, ssh_channel_poll, (ssh_channel channel, int is_stderr), (channel, is_stderr));
KORVEL_FORWARD(Libssh(), int, ssh_channel_read_timeout,
               (ssh_channel channel, void* dest, uint32_t count, int is_stderr, int timeout_ms),
               (channel, dest, count, is_stderr, timeout_ms));
KORVEL_FORWARD(Libssh(), int, ssh_channel_write, (ssh_channel channel, const void* data, uint32_t len),
               (channel, data, len));
KORVEL_FORWARD(Libssh(), void, ssh_clean_pubkey_hash, (unsigned char** hash), (hash));
KORVEL_FORWARD(Libssh(), int, ssh_connect, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), void, ssh_disconnect, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), void, ssh_free, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), const char*, ssh_get_error, (void* error), (error));
KORVEL_FORWARD(Libssh(), int, ssh_get_error_code, (void* error), (error));
KORVEL_FORWARD(Libssh(), socket_t, ssh_get_fd, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), char*, ssh_get_fingerprint_hash,
               (enum ssh_publickey_hash_type type, unsigned char* hash, size_t len), (type, hash, len));
KORVEL_FORWARD(Libssh(), char*, ssh_get_issue_banner, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), ssh_logging_callback, ssh_get_log_callback, (), ());
KORVEL_FORWARD(Libssh(), int, ssh_get_log_level, (), ());
KORVEL_FORWARD(Libssh(), void*, ssh_get_log_userdata, (), ());
KORVEL_FORWARD(Libssh(), int, ssh_get_poll_flags, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), int, ssh_get_publickey_hash,
               (const ssh_key key, enum ssh_publickey_hash_type type, unsigned char** hash, size_t* hlen),
               (key, type, hash, hlen));
KORVEL_FORWARD(Libssh(), int, ssh_get_server_publickey, (ssh_session session, ssh_key* key), (session, key));
KORVEL_FORWARD(Libssh(), int, ssh_init, (), ());
KORVEL_FORWARD(Libssh(), int, ssh_is_connected, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), int, ssh_key_cmp, (const ssh_key k1, const ssh_key k2, enum ssh_keycmp_e what),
               (k1, k2, what));
KORVEL_FORWARD(Libssh(), void, ssh_key_free, (ssh_key key), (key));
KORVEL_FORWARD(Libssh(), enum ssh_keytypes_e, ssh_key_type, (const ssh_key key), (key));
KORVEL_FORWARD(Libssh(), enum ssh_keytypes_e, ssh_key_type_from_name, (const char* name), (name));
KORVEL_FORWARD(Libssh(), const char*, ssh_key_type_to_char, (enum ssh_keytypes_e type), (type));
KORVEL_FORWARD(Libssh(), ssh_session, ssh_new, (), ());
KORVEL_FORWARD(Libssh(), int, ssh_options_get, (ssh_session session, enum ssh_options_e type, char** value),
               (session, type, value));
KORVEL_FORWARD(Libssh(), int, ssh_options_set,
               (ssh_session session, enum ssh_options_e type, const void* value), (session, type, value));
KORVEL_FORWARD(Libssh(), int, ssh_pki_export_pubkey_base64, (const ssh_key key, char** b64_key),
               (key, b64_key));
KORVEL_FORWARD(Libssh(), int, ssh_pki_import_privkey_file,
               (const char* filename, const char* passphrase, ssh_auth_callback auth_fn, void* auth_data,
                ssh_key* pkey),
               (filename, passphrase, auth_fn, auth_data, pkey));
KORVEL_FORWARD(Libssh(), int, ssh_pki_import_pubkey_base64,
               (const char* b64_key, enum ssh_keytypes_e type, ssh_key* pkey), (b64_key, type, pkey));
KORVEL_FORWARD(Libssh(), int, ssh_pki_import_pubkey_file, (const char* filename, ssh_key* pkey),
               (filename, pkey));
KORVEL_FORWARD(Libssh(), int, ssh_send_keepalive, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), int, ssh_set_agent_socket, (ssh_session session, socket_t fd), (session, fd));
KORVEL_FORWARD(Libssh(), void, ssh_set_blocking, (ssh_session session, int blocking), (session, blocking));
KORVEL_FORWARD(Libssh(), void, ssh_set_counters,
               (ssh_session session, ssh_counter scounter, ssh_counter rcounter),
               (session, scounter, rcounter));
KORVEL_FORWARD(Libssh(), int, ssh_set_log_callback, (ssh_logging_callback cb), (cb));
KORVEL_FORWARD(Libssh(), int, ssh_set_log_level, (int level), (level));
KORVEL_FORWARD(Libssh(), int, ssh_set_log_userdata, (void* data), (data));
KORVEL_FORWARD(Libssh(), void, ssh_string_free_char, (char* s), (s));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_agent, (ssh_session session, const char* username),
               (session, username));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_kbdint,
               (ssh_session session, const char* user, const char* submethods), (session, user, submethods));
KORVEL_FORWARD(Libssh(), const char*, ssh_userauth_kbdint_getinstruction, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), const char*, ssh_userauth_kbdint_getname, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_kbdint_getnprompts, (ssh_session session), (session));
KORVEL_FORWARD(Libssh(), const char*, ssh_userauth_kbdint_getprompt,
               (ssh_session session, unsigned int i, char* echo), (session, i, echo));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_kbdint_setanswer,
               (ssh_session session, unsigned int i, const char* answer), (session, i, answer));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_list, (ssh_session session, const char* username),
               (session, username));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_none, (ssh_session session, const char* username),
               (session, username));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_password,
               (ssh_session session, const char* username, const char* password),
               (session, username, password));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_publickey,
               (ssh_session session, const char* username, const ssh_key privkey),
               (session, username, privkey));
KORVEL_FORWARD(Libssh(), int, ssh_userauth_try_publickey,
               (ssh_session session, const char* username, const ssh_key pubkey),
               (session, username, pubkey));
KORVEL_FORWARD(Libssh(), const char*, ssh_version, (int req_version), (req_version));
