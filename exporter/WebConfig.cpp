#include "exporter/WebConfig.h"

#include <crypt.h>
#include <fstream>
#include <iostream>
#include <openssl/evp.h>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <yaml-cpp/yaml.h>

namespace korvel::exporter
{
namespace
{

// Far above any real file: the users of a fleet's scrapers, not a database.
constexpr std::streamsize MaxFileBytes = 1024 * 1024;
// A changed file is noticed within this time; the look itself is one stat.
constexpr std::chrono::seconds LookInterval(1);
// Passed logins remembered at most; past it the memory starts afresh.
constexpr std::size_t MaxRemembered = 1024;

[[noreturn]] void Refuse(const std::string& path, const std::string& why)
{
    throw std::runtime_error("web config " + path + ": " + why);
}

std::map<std::string, std::string> ReadUsers(const std::string& path, const YAML::Node& section)
{
    if (!section.IsMap())
        Refuse(path, "basic_auth_users must be a mapping of user names to bcrypt hashes");
    std::map<std::string, std::string> users;
    for (const auto& entry : section)
    {
        const std::string name = entry.first.Scalar();
        if (!entry.second.IsScalar())
            Refuse(path, "the password of " + name + " must be a bcrypt hash");
        const std::string hash = entry.second.Scalar();
        if (hash.size() < 60 || hash[0] != '$' || hash[1] != '2')
            Refuse(path, "the password of " + name + " is not a bcrypt hash");
        if (name.find(':') != std::string::npos)
            Refuse(path, "the user name " + name + " contains ':'");
        users[name] = hash;
    }
    return users;
}

// A path of the file as the toolkit takes it: relative to the web configuration file's directory.
std::string BesideConfig(const std::string& configPath, const std::string& path)
{
    const auto slash = configPath.rfind('/');
    if (path.empty() || path[0] == '/' || slash == std::string::npos)
        return path;
    return configPath.substr(0, slash + 1) + path;
}

WebTls ReadTls(const std::string& path, const YAML::Node& section)
{
    if (!section.IsMap())
        Refuse(path, "tls_server_config must be a mapping");
    WebTls tls;
    std::string clientAuth = "NoClientCert";
    for (const auto& entry : section)
    {
        const std::string key = entry.first.Scalar();
        if (!entry.second.IsScalar())
            Refuse(path, "tls_server_config: " + key + " must be a single value");
        const std::string value = entry.second.Scalar();
        if (key == "cert_file")
            tls.CertFile = BesideConfig(path, value);
        else if (key == "key_file")
            tls.KeyFile = BesideConfig(path, value);
        else if (key == "client_ca_file")
            tls.ClientCaFile = BesideConfig(path, value);
        else if (key == "client_auth_type")
            clientAuth = value;
        else
            Refuse(path, "tls_server_config: " + key + " is not supported");
    }
    if (tls.CertFile.empty() || tls.KeyFile.empty())
        Refuse(path, "tls_server_config needs both cert_file and key_file");
    // A certificate asked for but not checked against a CA would prove nothing, so those kinds are refused.
    const bool verify = clientAuth == "VerifyClientCertIfGiven" || clientAuth == "RequireAndVerifyClientCert";
    if (!verify && clientAuth != "NoClientCert")
        Refuse(path, "client_auth_type " + clientAuth +
                         " is not supported: use NoClientCert, VerifyClientCertIfGiven or "
                         "RequireAndVerifyClientCert");
    if (verify != !tls.ClientCaFile.empty())
        Refuse(path, verify ? "client_auth_type " + clientAuth + " needs client_ca_file"
                            : "client_ca_file needs client_auth_type VerifyClientCertIfGiven or "
                              "RequireAndVerifyClientCert");
    tls.RequireClientCert = clientAuth == "RequireAndVerifyClientCert";
    return tls;
}

// "Basic <base64 of user:password>" as user and password; nothing when it is not that.
std::optional<std::pair<std::string, std::string>> BasicCredentials(const char* header)
{
    const std::string text = header ? header : "";
    const std::string scheme = "Basic ";
    if (text.size() <= scheme.size() || text.compare(0, scheme.size(), scheme) != 0 || text.size() > 4096)
        return std::nullopt;
    const std::string encoded = text.substr(scheme.size());
    if (encoded.size() % 4 != 0)
        return std::nullopt;
    std::string decoded(encoded.size() / 4 * 3, '\0');
    const int size = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                     reinterpret_cast<const unsigned char*>(encoded.data()),
                                     static_cast<int>(encoded.size()));
    if (size < 0)
        return std::nullopt;
    // EVP_DecodeBlock counts the padding's zero bytes in.
    std::size_t length = static_cast<std::size_t>(size);
    for (std::size_t pad = encoded.size(); pad > 0 && encoded[pad - 1] == '=' && length > 0; --pad)
        --length;
    decoded.resize(length);
    const auto colon = decoded.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return std::make_pair(decoded.substr(0, colon), decoded.substr(colon + 1));
}

bool BcryptMatches(const std::string& password, const std::string& hash)
{
    crypt_data scratch{};
    const char* result = crypt_r(password.c_str(), hash.c_str(), &scratch);
    return result && result[0] != '*' && hash == result;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

WebConfig WebConfig::Load(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        Refuse(path, "cannot be read");
    std::ostringstream text;
    text << file.rdbuf();
    if (text.tellp() > MaxFileBytes)
        Refuse(path, "is over 1 MiB");
    WebConfig config;
    try
    {
        const YAML::Node root = YAML::Load(text.str());
        if (root.IsNull())
            return config;
        if (!root.IsMap())
            Refuse(path, "must be a mapping");
        for (const auto& entry : root)
        {
            const std::string key = entry.first.Scalar();
            if (key == "tls_server_config")
                config.Tls = ReadTls(path, entry.second);
            else if (key == "basic_auth_users")
                config.Users = ReadUsers(path, entry.second);
            else
                Refuse(path, key + " is not supported");
        }
    }
    catch (const YAML::Exception& error)
    {
        Refuse(path, "line " + std::to_string(error.mark.line + 1) + ": " + error.msg);
    }
    return config;
}

WebDoor::WebDoor(std::string path)
    : path_(std::move(path)),
      users_(path_.empty() ? std::map<std::string, std::string>{} : WebConfig::Load(path_).Users)
{
    if (!path_.empty())
        stat(path_.c_str(), &seen_);
    lastLook_ = std::chrono::steady_clock::now();
}

void WebDoor::ReloadIfChanged()
{
    const auto now = std::chrono::steady_clock::now();
    if (path_.empty() || now - lastLook_ < LookInterval)
        return;
    lastLook_ = now;
    struct stat current
    {
    };
    if (stat(path_.c_str(), &current) == 0 && SameFile(current, seen_))
        return;
    seen_ = current;
    try
    {
        users_ = WebConfig::Load(path_).Users;
        broken_ = false;
    }
    catch (const std::exception& error)
    {
        if (!broken_)
            std::cerr << "korvel-exporter: " << error.what()
                      << "; every request is refused until it is mended" << std::endl;
        broken_ = true;
    }
    passed_.clear();
}

WebDoor::Verdict WebDoor::Check(const char* authorization)
{
    std::unique_lock lock(mutex_);
    ReloadIfChanged();
    if (broken_)
        return Verdict::Broken;
    if (users_.empty())
        return Verdict::Allowed;
    const auto credentials = BasicCredentials(authorization);
    if (!credentials)
        return Verdict::Refused;
    const auto user = users_.find(credentials->first);
    if (user == users_.end())
        return Verdict::Refused;
    std::string key = credentials->first + '\0' + credentials->second + '\0' + user->second;
    if (passed_.count(key))
        return Verdict::Allowed;
    const std::string hash = user->second;
    lock.unlock(); // bcrypt takes its time on purpose; other scrapers need not wait for it
    if (!BcryptMatches(credentials->second, hash))
        return Verdict::Refused;
    lock.lock();
    if (passed_.size() >= MaxRemembered)
        passed_.clear();
    passed_.insert(std::move(key));
    return Verdict::Allowed;
}

} // namespace korvel::exporter
