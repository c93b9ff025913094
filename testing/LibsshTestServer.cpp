#include "testing/LibsshTestServer.h"

#include "testing/LoopbackSocket.h"

#include <libssh/callbacks.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::test
{
namespace
{

int FlagOf(const std::string& method)
{
    return method == "publickey"              ? SSH_AUTH_METHOD_PUBLICKEY
           : method == "keyboard-interactive" ? SSH_AUTH_METHOD_INTERACTIVE
                                              : SSH_AUTH_METHOD_PASSWORD;
}

// The key's base64 as a .pub file holds it.
std::string Base64Of(ssh_key key)
{
    char* text = nullptr;
    if (ssh_pki_export_pubkey_base64(key, &text) != SSH_OK)
        return {};
    std::string base64 = text;
    ssh_string_free_char(text);
    return base64;
}

std::string KeyOfFile(const std::string& publicKeyFile)
{
    std::ifstream in(publicKeyFile);
    std::string type, base64;
    in >> type >> base64;
    if (base64.empty())
        throw std::runtime_error("no public key in " + publicKeyFile);
    return base64;
}

} // namespace

LibsshTestServer::LibsshTestServer(LibsshServerOptions options) : options_(std::move(options))
{
    for (const std::string& file : options_.AuthorizedKeys)
        authorized_.push_back(KeyOfFile(file));
    ssh_key hostKey = nullptr;
    if (ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &hostKey) != SSH_OK)
        throw std::runtime_error("cannot make a host key");
    bind_ = ssh_bind_new();
    std::uint16_t port = 0;
    listener_ = ListenOnLoopback(port);
    port_ = port;
    knownHostsLine_ = "[127.0.0.1]:" + std::to_string(port_) + " " +
                      ssh_key_type_to_char(ssh_key_type(hostKey)) + " " + Base64Of(hostKey);
    ssh_bind_options_set(bind_, SSH_BIND_OPTIONS_IMPORT_KEY, hostKey); // the bind owns it from here
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptor_ = std::thread([this] { Accept(); });
}

LibsshTestServer::~LibsshTestServer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    acceptor_.join();
    std::vector<std::thread> sessions;
    {
        std::lock_guard guard(mutex_);
        for (int socket : sockets_)
            shutdown(socket, SHUT_RDWR); // ends the session's waits; its thread closes it
        sessions.swap(sessions_);
    }
    for (std::thread& session : sessions)
        session.join();
    ssh_bind_free(bind_);
    close(listener_);
    close(stopFd_);
}

void LibsshTestServer::Accept()
{
    for (;;)
    {
        pollfd ready[2] = {{listener_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(ready, 2, -1) < 0 && errno != EINTR)
            return;
        if (ready[1].revents != 0)
            return;
        if (ready[0].revents == 0)
            continue;
        const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        std::lock_guard guard(mutex_);
        sessions_.emplace_back([this, socket] { Connection(socket); });
    }
}

void LibsshTestServer::Connection(int socket)
{
    // The session closes its socket when it ends; this second handle keeps the connection until the client
    // has read the last packet and left, since closing with its next request unread would reset the
    // connection and lose the disconnect message before it.
    const int held = dup(socket);
    {
        std::lock_guard guard(mutex_);
        sockets_.push_back(held);
    }
    ssh_session session = ssh_new();
    if (ssh_bind_accept_fd(bind_, session, socket) == SSH_OK)
        Serve(session);
    ssh_disconnect(session);
    ssh_free(session);
    shutdown(held, SHUT_WR);
    char drained[4096];
    for (pollfd ready{held, POLLIN, 0};
         poll(&ready, 1, 10000) > 0 && read(held, drained, sizeof drained) > 0;)
        ;
    std::lock_guard guard(mutex_);
    std::erase(sockets_, held);
    close(held);
}

// One login's progress, for libssh's callbacks.
struct LibsshTestServer::Login
{
    LibsshTestServer& Server;
    ssh_session Session;
    std::size_t Step = 0;
    int Failures = 0;

    // The answer to a request that passes (or fails) the current method.
    int Judge(bool passed)
    {
        if (!passed)
            return ++Failures, SSH_AUTH_DENIED;
        if (++Step == Server.options_.Methods.size())
            return SSH_AUTH_SUCCESS;
        ssh_set_auth_methods(Session, FlagOf(Server.options_.Methods[Step])); // named by the partial success
        return SSH_AUTH_PARTIAL;
    }
    bool Wants(const char* method) const
    {
        return Step < Server.options_.Methods.size() && Server.options_.Methods[Step] == method;
    }
};

namespace
{

using Login = LibsshTestServer::Login;

int OnNone(ssh_session session, const char*, void* data)
{
    // sshd sends its banner before its first answer.
    if (const std::string& banner = static_cast<Login*>(data)->Server.Options().Banner; !banner.empty())
    {
        ssh_string text = ssh_string_from_char(banner.c_str());
        ssh_send_issue_banner(session, text);
        ssh_string_free(text);
    }
    return SSH_AUTH_DENIED;
}

int OnPassword(ssh_session, const char*, const char* password, void* data)
{
    auto& login = *static_cast<Login*>(data);
    return login.Judge(login.Wants("password") && login.Server.Options().Password == password);
}

int OnKey(ssh_session, const char*, ssh_key key, char state, void* data)
{
    auto& login = *static_cast<Login*>(data);
    const std::vector<std::string>& authorized = login.Server.Authorized();
    const bool known = login.Wants("publickey") && std::ranges::count(authorized, Base64Of(key)) != 0;
    if (state == SSH_PUBLICKEY_STATE_NONE && known)
        return SSH_AUTH_SUCCESS; // a probe: "this key would do"
    return login.Judge(known && state == SSH_PUBLICKEY_STATE_VALID);
}

// Keyboard-interactive, which libssh's callbacks leave to the messages: one prompt, then its answer.
int OnMessage(ssh_session session, ssh_message message, void* data)
{
    auto& login = *static_cast<Login*>(data);
    if (ssh_message_type(message) != SSH_REQUEST_AUTH ||
        ssh_message_subtype(message) != SSH_AUTH_METHOD_INTERACTIVE || !login.Wants("keyboard-interactive"))
    {
        if (ssh_message_type(message) == SSH_REQUEST_AUTH)
            ++login.Failures;
        return 1; // refused by libssh's default answer
    }
    const LibsshServerOptions& options = login.Server.Options();
    if (!ssh_message_auth_kbdint_is_response(message))
    {
        const char* prompts[] = {options.Prompt.c_str()};
        char echo[] = {0};
        ssh_message_auth_interactive_request(message, "", "", 1, prompts, echo);
        return 0;
    }
    const bool right = ssh_userauth_kbdint_getnanswers(session) == 1 &&
                       options.Password == ssh_userauth_kbdint_getanswer(session, 0);
    const int result = login.Judge(right);
    if (result == SSH_AUTH_DENIED)
        return 1;
    ssh_message_auth_reply_success(message, result == SSH_AUTH_PARTIAL);
    return 0;
}

} // namespace

void LibsshTestServer::Serve(ssh_session session)
{
    Login login{*this, session};
    ssh_server_callbacks_struct callbacks{};
    callbacks.userdata = &login;
    callbacks.auth_none_function = OnNone;
    callbacks.auth_password_function = OnPassword;
    callbacks.auth_pubkey_function = OnKey;
    ssh_callbacks_init(&callbacks);
    ssh_set_server_callbacks(session, &callbacks);
    ssh_set_message_callback(session, OnMessage, &login);
    ssh_set_auth_methods(session, FlagOf(options_.Methods[0]));
    if (ssh_handle_key_exchange(session) != SSH_OK)
        return;
    ssh_event event = ssh_event_new();
    ssh_event_add_session(event, session);
    while (ssh_is_connected(session) && ssh_event_dopoll(event, -1) != SSH_ERROR)
        if (login.Failures >= options_.MaxAuthTries)
        {
            // libssh writes a packet only once the socket was seen writable since its last write, and
            // closes without writing what waits: the disconnect needs that look first.
            while ((ssh_get_poll_flags(session) & SSH_WRITE_PENDING) != 0 &&
                   ssh_event_dopoll(event, 1000) != SSH_ERROR)
                ;
            ssh_session_set_disconnect_message(session, "Too many authentication failures");
            break; // the caller disconnects with it
        }
    ssh_event_remove_session(event, session);
    ssh_event_free(event);
}

} // namespace korvel::test
