// The exporter's door, read from a file in the web configuration format of Prometheus' exporter toolkit
// (--web.config.file):
//
//   tls_server_config:
//     cert_file: server.crt            # relative paths are taken from the file's own directory
//     key_file: server.key
//     client_ca_file: clients.crt      # optional, with client_auth_type RequireAndVerifyClientCert or
//     client_auth_type: RequireAndVerifyClientCert   # VerifyClientCertIfGiven
//   basic_auth_users:
//     prometheus: $2y$10$...          # bcrypt hashes, as htpasswd -nBC 10 writes them
//
// Anyone who reaches the exporter can make it log in to any target its modules allow, so a listener beyond
// loopback wants at least the users, and TLS so that their passwords do not cross the network in clear.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>

namespace korvel::exporter
{

struct WebTls
{
    std::string CertFile; // absolute, or relative to the working directory
    std::string KeyFile;
    std::string ClientCaFile;       // empty: clients are not asked for a certificate
    bool RequireClientCert = false; // RequireAndVerifyClientCert; else a given one is verified
};

struct WebConfig
{
    std::map<std::string, std::string> Users; // name -> bcrypt hash; empty: no authentication
    std::optional<WebTls> Tls;                // none: plain HTTP

    // Raises std::runtime_error naming the file and what is wrong with it.
    static WebConfig Load(const std::string& path);
};

// Whether a request's credentials let it in. The users are read again when the file changes (its size,
// time or inode), not on every request. Logins that passed are remembered per credential, as the toolkit
// does, so a scraper pays bcrypt's deliberate cost once and not at every scrape.
class WebDoor
{
public:
    enum class Verdict
    {
        Allowed,
        Refused, // answer 401 with a Basic challenge
        Broken   // the file changed into one that cannot be read: answer 500, let nobody in
    };

    // Reads the file once; raises as WebConfig::Load does. An empty path lets everybody in.
    explicit WebDoor(std::string path);

    // `authorization` is the request's Authorization header, null when absent.
    Verdict Check(const char* authorization);

private:
    void ReloadIfChanged(); // with mutex_ held

    const std::string path_;
    std::mutex mutex_;
    std::map<std::string, std::string> users_;
    bool broken_ = false;
    struct stat seen_
    {
    };
    std::chrono::steady_clock::time_point lastLook_;
    std::set<std::string> passed_; // user, password and hash of each login that passed
};

} // namespace korvel::exporter
