// The exporter behind TLS as scrapers meet it: the deployed example web configuration (client certificates
// and basic authentication) with throwaway certificates made by the openssl program, a renewed certificate
// taken up without a restart, and TLS sections it cannot honour refused at start.
#include "exporter/Exporter.h"
#include "testing/Eventually.h"
#include "testing/TempDir.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

using namespace korvel::exporter;
using korvel::test::BasicAuthHeader;
using korvel::test::Eventually;
using korvel::test::HttpClient;
using korvel::test::ReadFile;
using korvel::test::TempDir;

// Runs a shell command; fails the test when it does not succeed.
void Shell(const std::string& command)
{
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

// A certificate authority as files `name`.crt and `name`.key of `dir`.
void MakeCa(const TempDir& dir, const std::string& name)
{
    Shell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=" + name +
          " -keyout " + dir / (name + ".key") + " -out " + dir / (name + ".crt"));
}

// A certificate for 127.0.0.1 signed by the CA `ca`, as files `name`.crt and `name`.key of `dir`.
void MakeCert(const TempDir& dir, const std::string& name, const std::string& ca)
{
    const std::string extensions = dir.WriteFile(name + ".ext", "subjectAltName=IP:127.0.0.1\n");
    Shell("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=" + name + " -keyout " +
          dir / (name + ".key") + " -out " + dir / (name + ".csr"));
    Shell("openssl x509 -req -days 2 -in " + dir / (name + ".csr") + " -CA " + dir / (ca + ".crt") +
          " -CAkey " + dir / (ca + ".key") + " -CAcreateserial -extfile " + extensions + " -out " +
          dir / (name + ".crt"));
}

std::unique_ptr<Exporter> Start(const std::string& webConfig)
{
    ExporterOptions options;
    options.Listen = "127.0.0.1:0";
    options.WebConfigFile = webConfig;
    return std::make_unique<Exporter>(std::move(options));
}

// Sends this process's stderr to a file while it lives.
class StderrCapture
{
public:
    explicit StderrCapture(const std::string& path) : saved_(dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(file, STDERR_FILENO);
        close(file);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

private:
    int saved_;
};

// The TCP ports this process listens on beside `except`: in these tests, the web server's own behind the
// front.
std::vector<int> OtherListeningPorts(int except)
{
    std::vector<int> ports;
    for (int fd = 0; fd < 1024; ++fd)
    {
        int listening = 0;
        socklen_t size = sizeof listening;
        sockaddr_in address{};
        socklen_t addressSize = sizeof address;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressSize) == 0 &&
            address.sin_family == AF_INET && ntohs(address.sin_port) != except)
            ports.push_back(ntohs(address.sin_port));
    }
    return ports;
}

TEST(TlsTest, TheExampleConfigurationLetsInOnlyScrapersWithACertificateFromItsCaAndAUser)
{
    TempDir dir;
    MakeCa(dir, "scrapers-ca");
    MakeCa(dir, "server-ca");
    MakeCa(dir, "stranger-ca");
    MakeCert(dir, "korvel-exporter", "server-ca");
    MakeCert(dir, "prometheus", "scrapers-ca");
    MakeCert(dir, "stranger", "stranger-ca");
    const std::string config = dir.WriteFile(
        "web.yml", ReadFile(std::string(KORVEL_SOURCE_DIR) + "/deploy/korvel-exporter-web.yml"));
    if (std::system("command -v promtool >/dev/null") == 0)
        Shell("promtool check web-config " + config);
    const auto exporter = Start(config);
    const std::string where = "127.0.0.1:" + std::to_string(exporter->Port()) + "/metrics";
    const std::string user = BasicAuthHeader("prometheus", "change-this-password");
    const std::string wrong = BasicAuthHeader("prometheus", "guess");

    struct Case
    {
        const char* Why;
        const char* Scheme;
        std::string ServerCa;
        std::string Client; // the client certificate's name, empty for none
        std::string Header;
        long Status; // 0: no answer at all
    };
    for (const Case& row : {
             Case{"a scraper with its certificate and the user", "https", "server-ca", "prometheus", user,
                  200},
             Case{"the same again, on a new connection", "https", "server-ca", "prometheus", user, 200},
             Case{"a wrong password over TLS", "https", "server-ca", "prometheus", wrong, 401},
             Case{"no password over TLS", "https", "server-ca", "prometheus", "", 401},
             Case{"no client certificate", "https", "server-ca", "", user, 0},
             Case{"a client certificate from another CA", "https", "server-ca", "stranger", user, 0},
             Case{"a client not trusting the exporter's CA", "https", "stranger-ca", "prometheus", user, 0},
             Case{"plain HTTP to the TLS port", "http", "", "", user, 0},
         })
    {
        HttpClient http; // each row on its own connection, so none rides on an earlier row's handshake
        http.UseTls(row.ServerCa.empty() ? "" : dir / (row.ServerCa + ".crt"),
                    row.Client.empty() ? "" : dir / (row.Client + ".crt"),
                    row.Client.empty() ? "" : dir / (row.Client + ".key"));
        const auto reply =
            http.Get(std::string(row.Scheme) + "://" + where,
                     row.Header.empty() ? std::vector<std::string>{} : std::vector{row.Header});
        EXPECT_EQ(reply.Status, row.Status) << row.Why;
        if (row.Status == 200)
        {
            EXPECT_NE(reply.Body.find("korvel_exporter_build_info"), std::string::npos) << row.Why;
        }
    }
    // A local user reaching the web server's plain port on loopback passes by neither TLS nor certificates.
    const std::vector<int> plainPorts = OtherListeningPorts(exporter->Port());
    ASSERT_EQ(plainPorts.size(), 1u);
    HttpClient plain;
    EXPECT_EQ(plain.Get("http://127.0.0.1:" + std::to_string(plainPorts[0]) + "/metrics", {user}).Status,
              403);
}

TEST(TlsTest, ARenewedCertificateIsTakenUpWithoutARestartAndABrokenOneIsNot)
{
    TempDir dir;
    MakeCa(dir, "old-ca");
    MakeCa(dir, "new-ca");
    MakeCert(dir, "old", "old-ca");
    MakeCert(dir, "new", "new-ca");
    Shell("cp " + dir / "old.crt" + " " + dir / "server.crt");
    Shell("cp " + dir / "old.key" + " " + dir / "server.key");
    const auto exporter = Start(
        dir.WriteFile("web.yml", "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n"));
    const std::string url = "https://127.0.0.1:" + std::to_string(exporter->Port()) + "/metrics";
    const auto statusWith = [&](const std::string& ca)
    {
        HttpClient http;
        http.UseTls(dir / ca);
        return http.Get(url).Status;
    };
    EXPECT_EQ(statusWith("old-ca.crt"), 200);

    // Renewed as certbot does: each file replaced whole.
    Shell("cp " + dir / "new.key" + " " + dir / "server.key.tmp && mv " + dir / "server.key.tmp" + " " +
          dir / "server.key");
    Shell("cp " + dir / "new.crt" + " " + dir / "server.crt.tmp && mv " + dir / "server.crt.tmp" + " " +
          dir / "server.crt");
    EXPECT_TRUE(Eventually([&] { return statusWith("new-ca.crt") == 200; }, std::chrono::seconds(30)))
        << "the renewed certificate was not taken up";
    EXPECT_EQ(statusWith("old-ca.crt"), 0) << "the old certificate is still shown";

    // A key that does not belong to the certificate leaves the last good pair in use, once the exporter has
    // said so.
    const StderrCapture capture(dir / "stderr.txt");
    Shell("cp " + dir / "old.key" + " " + dir / "server.key");
    EXPECT_TRUE(Eventually(
        [&]
        {
            EXPECT_EQ(statusWith("new-ca.crt"), 200);
            return ReadFile(dir / "stderr.txt").find("the certificate in use stays") != std::string::npos;
        },
        std::chrono::seconds(30)));
    EXPECT_NE(ReadFile(dir / "stderr.txt").find("server.key"), std::string::npos);
    EXPECT_EQ(statusWith("new-ca.crt"), 200) << "a broken renewal stopped the exporter serving";
}

TEST(TlsTest, RefusesATlsSectionItCannotHonourAtStart)
{
    TempDir dir;
    MakeCa(dir, "ca");
    MakeCert(dir, "server", "ca");
    MakeCert(dir, "other", "ca");
    const std::string pair = "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n";
    for (const std::string& text : {
             std::string("tls_server_config:\n  cert_file: server.crt\n"),
             std::string("tls_server_config:\n  cert_file: missing.crt\n  key_file: server.key\n"),
             std::string("tls_server_config:\n  cert_file: server.crt\n  key_file: other.key\n"),
             pair + "  client_ca_file: ca.crt\n",
             pair + "  client_auth_type: RequireAndVerifyClientCert\n",
             pair + "  client_auth_type: RequireAnyClientCert\n  client_ca_file: ca.crt\n",
             pair + "  client_ca_file: missing.crt\n  client_auth_type: VerifyClientCertIfGiven\n",
             pair + "  min_version: TLS13\n",
             std::string("tls_server_config: [server.crt, server.key]\n"),
         })
        EXPECT_THROW(Start(dir.WriteFile("web.yml", text)), std::runtime_error) << text;
    EXPECT_NO_THROW(Start(dir.WriteFile("web.yml", pair + "  client_ca_file: ca.crt\n  client_auth_type: "
                                                          "VerifyClientCertIfGiven\n")));
}

} // namespace
