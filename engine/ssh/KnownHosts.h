// known_hosts files read as OpenSSH reads them: host patterns with `*`, `?` and `!` in comma lists,
// `[host]:port` for other ports than 22, hashed names (`|1|salt|hash`), and the markers `@revoked` and
// `@cert-authority`. We decide about host keys ourselves: libssh 0.10's own check lets a changed key through
// under `StrictHostKeyChecking no` and ignores markers and negations.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace korvel
{

// A known_hosts file that cannot be used (too large, a line too long, unsafe permissions); the message
// names the file (and line).
class KnownHostsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class KnownHostsMarker
{
    None,
    Revoked,      // @revoked: the key is refused wherever it is offered
    CertAuthority // @cert-authority: the key signs host certificates
};

// One line whose host patterns name the host looked up.
struct KnownHostsEntry
{
    std::string File;
    int Line = 0;
    KnownHostsMarker Marker = KnownHostsMarker::None;
    std::string KeyType;   // "ssh-ed25519", ...
    std::string KeyBase64; // the key as the line writes it

    std::string Where() const { return File + ":" + std::to_string(Line); }
};

// The name known_hosts knows a host by: "host" on port 22, else "[host]:port".
std::string KnownHostsName(const std::string& host, int port);

// Whether a line's host field names `name`: a hashed name, or a comma list of patterns where a negated
// pattern that matches rules the line out.
bool KnownHostsPatternsMatch(const std::string& patterns, const std::string& name);

// Every line of `files` (in order; a missing file holds none) that names `name`. Raises KnownHostsError.
// `checkOwner`: refuse a file another user owns or others may write (the user's own files).
std::vector<KnownHostsEntry> FindKnownHosts(const std::vector<std::string>& files, const std::string& name,
                                            bool checkOwner);

// The line that remembers a key for `name`; with `hashed`, the name is hashed as `HashKnownHosts yes` does.
std::string KnownHostsLine(const std::string& name, const std::string& keyType, const std::string& keyBase64,
                           bool hashed);

// Appends `line` to `file` as OpenSSH adds to a user's known_hosts: a symlink is followed, a missing
// directory is made (0700), a file or directory that another user owns or others may write is refused.
// Raises KnownHostsError.
void AppendKnownHostsLine(const std::string& file, const std::string& line);

} // namespace korvel
