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

#include <gtest/gtest.h>
#include <map>

namespace
{

using namespace korvel::exporter;
using korvel::settings::Profile;
using korvel::test::HttpReply;
using Json = nlohmann::json;

// "korvel_profile=NAME" or "__param_module=NAME": what tells a discovered target's origin.
std::string Origin(const Json& labels)
{
    const char* label = labels.contains("korvel_profile") ? "korvel_profile" : "__param_module";
    return label + ("=" + labels.value(label, std::string()));
}

class ProfileTargetsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // Under CI the wrapper (testing/with-secret-service.sh) fails when it cannot start one.
        if (const auto keyring = korvel::credentials::SecretServiceAvailability(); !keyring.Available)
            GTEST_SKIP() << "no Secret Service: " << keyring.Reason;
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
    viaBastion.Server.Ssh.Host = "127.0.0.1";
    viaBastion.Server.Ssh.Port = static_cast<std::uint16_t>(bastion.Port());
    viaBastion.Server.Ssh.IdentityFile = key;
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
    for (const char* name : {"alice", "\xD0\xB0"
                                      "dmin" /* a Cyrillic a */})
        Add(name, server_.AdminPort());
    Add("bad\xFEname", server_.AdminPort(), true, false);
    Start();
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
    const std::string port = std::to_string(server_.AdminPort());
    Module module{"default", "admin", "secret", {}, {}};
    for (const std::string& pattern :
         std::vector<std::string>{"127.0.0.1:" + port, "LocalHost:" + port, "10.0.0.*:12006", "db.example:*"})
        module.TargetPatterns.push_back(*TargetPattern::Parse(pattern));
    expected["127.0.0.1:" + port] = expected["localhost:" + port] = "__param_module=default";
    Start({module});

    std::map<std::string, std::string> listed;
    for (const Json& group : Json::parse(http_.Get(Url("/targets")).Body))
        for (const Json& target : group["targets"])
            listed[target] = Origin(group["labels"]);
    EXPECT_EQ(listed, expected);
    for (const auto& [target, origin] : listed)
        EXPECT_EQ(Up(target), 1) << "probed as listed: " << korvel::ShownName(target);

    if (std::system("command -v promtool >/dev/null") != 0)
        GTEST_SKIP() << "promtool is not installed (scripts/setup installs prometheus)";
    const std::string config =
        "scrape_configs: [{job_name: korvel, http_sd_configs: [{url: '" + Url("/targets") +
        "'}], relabel_configs: [{source_labels: [__address__], target_label: __param_target}]}]";
    // promtool gathers what discovery finds for the whole --timeout; the first refresh comes at once.
    const std::string check = "promtool check service-discovery " + dir_.WriteFile("prometheus.yml", config) +
                              " korvel --timeout=5s >" + (dir_ / "found.json");
    ASSERT_EQ(std::system(check.c_str()), 0);
    std::map<std::string, std::string> found;
    for (const Json& target : Json::parse(korvel::test::ReadFile(dir_ / "found.json")))
        found[target["labels"]["__param_target"]] = Origin(target["labels"]);
    EXPECT_EQ(found, expected);
}

} // namespace
