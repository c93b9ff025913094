// korvel-exporter's profile targets against a private keyring and a real server: the state each profile
// reads, why a profile without a password is down (told once), names matched by their exact bytes, and
// /targets as Prometheus itself (promtool) discovers it, profiles beside a module's literal targets.
#include "credentials/Keyring.h"
#include "engine/wire/Utf8.h"
#include "exporter/Exporter.h"
#include "testing/HostileNames.h"
#include "testing/LoopbackSocket.h"
#include "testing/RefServer.h"
#include "testing/SshServer.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace
{

using namespace korvel::exporter;
using korvel::settings::Profile;
using korvel::test::HttpReply;

class ProfileTargetsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const korvel::credentials::Availability keyring = korvel::credentials::SecretServiceAvailability();
        if (const char* ci = std::getenv("CI"); !keyring.Available && ci && std::string(ci) == "true")
            FAIL() << "no Secret Service under CI: " << keyring.Reason;
        if (!keyring.Available)
            GTEST_SKIP() << "no Secret Service (tests run through testing/with-secret-service.sh): "
                         << keyring.Reason;
    }

    // A profile of the reference server's user; its password kept in the keyring when `stored`.
    void Add(const std::string& name, int port, bool keep = true, bool stored = true, Profile profile = {})
    {
        profile.Name = name;
        profile.User = server_.Options().AdminUser;
        profile.KeepPassword = keep;
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(port);
        profiles_.Save(profile);
        if (stored)
            korvel::credentials::StorePassword(
                korvel::credentials::CredentialKey::ForProfile(name, profile.User),
                server_.Options().AdminPassword);
    }

    void Start(std::vector<Module> modules = {})
    {
        ExporterOptions options;
        options.Listen = "127.0.0.1:0";
        options.ProfilesFile = profiles_.FileName();
        options.Modules = ModuleConfig(std::move(modules));
        exporter_ = std::make_unique<Exporter>(std::move(options));
    }

    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(exporter_->Port()) + path;
    }
    HttpReply Probe(const std::string& target, const std::string& extra = "")
    {
        return http_.Get(Url("/probe?target=" + korvel::test::UrlEncoded(target) + extra));
    }
    double Up(const std::string& target)
    {
        const HttpReply reply = Probe(target);
        EXPECT_EQ(reply.Status, 200) << korvel::ShownName(target) << ": " << reply.Body;
        return korvel::test::Samples(reply.Body)["korvel_up"];
    }

    korvel::test::RefServer server_;
    korvel::test::TempDir dir_;
    korvel::settings::ProfileStore profiles_{dir_ / "profiles.ini"};
    std::unique_ptr<Exporter> exporter_;
    korvel::test::HttpClient http_;
};

TEST_F(ProfileTargetsTest, EachProfileReadsItsServersStateAndAMissingPasswordIsToldOnce)
{
    korvel::test::RefusingPort refused;
    // A bastion whose host key this user's known_hosts (in the test's own HOME) does not hold.
    const std::string key = dir_ / "key";
    korvel::test::GenerateKey(key);
    korvel::test::SshServer bastion({.AuthorizedKeys = {key + ".pub"}});
    Profile viaBastion;
    viaBastion.SshHost = "127.0.0.1";
    viaBastion.SshPort = static_cast<std::uint16_t>(bastion.Port());
    viaBastion.SshIdentityFile = key;
    const struct
    {
        std::string Name;
        int Port;
        bool Keep, Stored;
        double Up;
        std::string Told; // on stderr, once; empty: nothing
        Profile Ssh = {};
    } rows[] = {
        {"live", server_.AdminPort(), true, true, 1, ""},
        {"refused port", refused.Port(), true, true, 0, ""},
        {"no kept password", server_.AdminPort(), false, false, 0, "keeps no password in the keyring"},
        {"kept, never stored", server_.AdminPort(), true, false, 0,
         "the keyring holds no password for its user admin"},
        {"unknown bastion", server_.AdminPort(), true, true, 0,
         "The host key of the SSH server 127.0.0.1:" + std::to_string(bastion.Port()) +
             " is not known: ssh-ed25519 " + bastion.HostKeyFingerprint(),
         viaBastion},
    };
    for (const auto& row : rows)
        Add(row.Name, row.Port, row.Keep, row.Stored, row.Ssh);
    Start();
    testing::internal::CaptureStderr();
    for (int scrape = 0; scrape < 2; ++scrape)
        for (const auto& row : rows)
            EXPECT_EQ(Up("profile:" + row.Name), row.Up) << row.Name;
    const std::string errors = testing::internal::GetCapturedStderr();
    for (const auto& row : rows)
    {
        const std::string told = "korvel-exporter: profile " + row.Name + ": " + row.Told;
        const std::size_t at = errors.find(told);
        EXPECT_EQ(at == std::string::npos, row.Told.empty()) << row.Name << ": " << errors;
        EXPECT_EQ(at, errors.rfind(told)) << row.Name << " told once: " << errors;
    }
}

TEST_F(ProfileTargetsTest, AProfileIsFoundByItsExactBytesAndAnyOtherIsRefusedLikeAForbiddenTarget)
{
    Add("alice", server_.AdminPort());
    Add("\xD0\xB0"
        "dmin",
        server_.AdminPort()); // a Cyrillic a
    Add("bad\xFEname", server_.AdminPort(), true, false);
    Start();
    EXPECT_EQ(Up("profile:\xD0\xB0"
                 "dmin"),
              1);
    EXPECT_EQ(Up("profile:bad\xFEname"), 0) << "found, but the keyring holds only UTF-8 names";
    const struct
    {
        std::string Target, Extra, Says;
    } refusals[] = {
        {"profile:ALICE", "", "no profile \"ALICE\""},
        {"profile:admin", "", "no profile \"admin\""},
        {"profile:bad\xEF\xBF\xBDname", "", "no profile"},
        {std::string("profile:alice\0", 14), "", "no profile \"alice\\x00\""},
        {"profile:", "", "no profile \"\""},
        {"profile:alice", "&module=default", "takes no module"},
    };
    for (const auto& refusal : refusals)
    {
        const HttpReply reply = Probe(refusal.Target, refusal.Extra);
        EXPECT_EQ(reply.Status, 400) << korvel::ShownName(refusal.Target);
        EXPECT_NE(reply.Body.find(refusal.Says), std::string::npos) << reply.Body;
    }
}

TEST_F(ProfileTargetsTest, TargetsListEveryProfileAndEachModulesLiteralTargetsAsPrometheusDiscoversThem)
{
    // Every hostile name a profile may have; those that are not UTF-8 cannot be a Prometheus label.
    std::map<std::string, std::string> expected; // target -> its label, as discovered
    for (const std::string& name : korvel::test::HostileNames())
        if (!korvel::settings::ProfileNameProblem(name) && !profiles_.Find(name))
        {
            Add(name, server_.AdminPort());
            if (korvel::IsUtf8(name))
                expected["profile:" + name] = "korvel_profile=" + name;
        }
    const std::string literal = "127.0.0.1:" + std::to_string(server_.AdminPort());
    Module module{"default", "admin", "secret", false, {}};
    for (const char* pattern : {literal.c_str(), "10.0.0.*:12006", "db.example.com:*", "Db.Example.com:1"})
        module.TargetPatterns.push_back(*TargetPattern::Parse(pattern));
    expected[literal] = expected["db.example.com:1"] = "__param_module=default";
    Start({module});

    std::map<std::string, std::string> listed;
    for (const auto& group : nlohmann::json::parse(http_.Get(Url("/targets")).Body))
        for (const auto& target : group["targets"])
            for (const auto& [label, value] : group["labels"].items())
                if (label == "korvel_profile" || label == "__param_module")
                    listed[target.get<std::string>()] = label + "=" + value.get<std::string>();
    EXPECT_EQ(listed, expected);
    // What is listed is probed as listed (db.example.com is never looked up: nothing waits on a resolver).
    for (const auto& [target, label] : listed)
    {
        if (!target.starts_with("db."))
        {
            EXPECT_EQ(Up(target), 1) << korvel::ShownName(target);
        }
    }

    if (std::system("command -v promtool >/dev/null") != 0)
        GTEST_SKIP() << "promtool is not installed (scripts/setup installs prometheus)";
    const std::string config = dir_.WriteFile(
        "prometheus.yml", "scrape_configs:\n- job_name: korvel\n  metrics_path: /probe\n  http_sd_configs:\n"
                          "  - url: " +
                              Url("/targets") +
                              "\n  relabel_configs:\n"
                              "  - {source_labels: [__address__], target_label: __param_target}\n");
    // promtool gathers what discovery finds for the whole --timeout; the first refresh comes at once.
    ASSERT_EQ(std::system(("promtool check service-discovery " + config + " korvel --timeout=5s >" +
                           (dir_ / "found.json"))
                              .c_str()),
              0);
    std::map<std::string, std::string> found;
    for (const auto& target : nlohmann::json::parse(korvel::test::ReadFile(dir_ / "found.json")))
    {
        const auto& labels = target["labels"];
        found[labels["__param_target"]] =
            labels.contains("korvel_profile")
                ? "korvel_profile=" + labels["korvel_profile"].get<std::string>()
                : "__param_module=" + labels["__param_module"].get<std::string>();
    }
    EXPECT_EQ(found, expected);
}

} // namespace
