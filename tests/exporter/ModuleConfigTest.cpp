// The exporter's module file: who may read or write it, which targets a module's credentials may be sent
// to, and the default module; and the targets a probe may name.
#include "exporter/ModuleConfig.h"
#include "exporter/Target.h"
#include "testing/exporter/ExporterTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

using korvel::exporter::ConfigError;
using korvel::exporter::ModuleConfig;
using korvel::exporter::ParseTarget;
using korvel::test::TempDir;

const char* const TwoModules = "[default]\n"
                               "user=monitor\n"
                               "password=s3cret\n"
                               "targets=127.0.0.1:*, db*.example:12006, 10.9.*.1:12006, 192.168.4.0/22:*\n"
                               "\n"
                               "[remote]\n"
                               "user=watcher\n"
                               "password=other\n"
                               "mode=internet\n"
                               "targets=10.1.2.3:12006\n";

std::string LoadError(const std::string& path)
{
    try
    {
        ModuleConfig::Load(path);
    }
    catch (const ConfigError& error)
    {
        return error.what();
    }
    return "";
}

TEST(ModuleConfigTest, RefusesFilesOthersCanReadOrWriteOrThatAnotherUserOwns)
{
    TempDir dir;
    EXPECT_NE(LoadError(dir.WriteFile("world.ini", TwoModules, 0644)).find("readable by group or others"),
              std::string::npos);
    EXPECT_NE(LoadError(dir.WriteFile("group.ini", TwoModules, 0640)).find("readable by group or others"),
              std::string::npos);
    for (const unsigned mode : {0620u, 0602u})
        EXPECT_NE(
            LoadError(dir.WriteFile("writable.ini", TwoModules, mode)).find("writable by group or others"),
            std::string::npos)
            << std::oct << mode;
    EXPECT_NE(LoadError(dir.Path() + "/missing.ini").find("cannot read"), std::string::npos);
    EXPECT_EQ(LoadError(dir.WriteFile("private.ini", TwoModules, 0600)), "");

    // Another user's file: a root-owned system file when not root, else a file given away.
    std::string foreign = "/etc/passwd";
    if (geteuid() == 0)
    {
        foreign = dir.WriteFile("foreign.ini", TwoModules, 0600);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    }
    EXPECT_NE(LoadError(foreign).find("not owned by this user"), std::string::npos);
}

TEST(ModuleConfigTest, AModuleThroughAnSshServerUsesItsKeyFileAloneAndABadServerIsRefused)
{
    TempDir dir;
    const ModuleConfig config = ModuleConfig::Load(dir.WriteFile(
        "ssh.ini", std::string(TwoModules) + "[bastion]\nuser=monitor\ntargets=127.0.0.1:12006\n"
                                             "ssh = ops@bastion.example:2222\nssh_identity = /keys/id\n"
                                             "ssh_known_hosts = /keys/known_hosts\n"));
    const korvel::SshSettings& ssh = config.Find("bastion")->Route.Ssh;
    EXPECT_EQ(ssh.User, "ops");
    EXPECT_EQ(ssh.Host, "bastion.example");
    EXPECT_EQ(ssh.Port, 2222);
    EXPECT_EQ(ssh.IdentityFile, "/keys/id");
    EXPECT_EQ(ssh.KnownHostsFile, "/keys/known_hosts");
    EXPECT_FALSE(ssh.UseAgent);
    EXPECT_FALSE(config.Find("default")->Route.Ssh.Enabled());

    EXPECT_NE(LoadError(dir.WriteFile("bad.ini", "[m]\nuser=u\nssh=ops@bastion:99999\n"))
                  .find("module [m]: ssh must be [USER@]HOST[:PORT], not \"ops@bastion:99999\""),
              std::string::npos);
}

TEST(ModuleConfigTest, ReadsModulesAndFallsBackToTheDefaultModule)
{
    TempDir dir;
    const ModuleConfig config = ModuleConfig::Load(dir.WriteFile("modules.ini", TwoModules));

    const auto* fallback = config.Find("");
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->Name, "default");
    EXPECT_EQ(fallback->User, "monitor");
    EXPECT_EQ(fallback->Password, "s3cret");
    EXPECT_FALSE(fallback->Route.Internet);

    const auto* remote = config.Find("remote");
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(remote->User, "watcher");
    EXPECT_TRUE(remote->Route.Internet);
    EXPECT_EQ(config.Find("absent"), nullptr);

    // Without a [default] section an unnamed module is simply unknown.
    const ModuleConfig only = ModuleConfig::Load(dir.WriteFile("remote.ini", "[remote]\nuser=u\n"));
    EXPECT_EQ(only.Find(""), nullptr);
}

TEST(ModuleConfigTest, RefusesModulesWithoutUserWithAnUnknownModeOrATargetThatIsNoPattern)
{
    TempDir dir;
    EXPECT_NE(LoadError(dir.WriteFile("nouser.ini", "[default]\npassword=x\n")).find("has no user"),
              std::string::npos);
    EXPECT_NE(LoadError(dir.WriteFile("mode.ini", "[default]\nuser=u\nmode=wan\n")).find("lan or internet"),
              std::string::npos);
    // A numeric host is a whole address: "127.*" once spanned parts, and would now read as a host name.
    for (const char* bad : {"127.*:12006", "127.0.0.1*:12006", "10.0.0.256:1", "10.0.0.0/33:1",
                            "db?.example:1", "db.example:port", "db.example"})
        EXPECT_NE(LoadError(dir.WriteFile("bad.ini", std::string("[default]\nuser=u\ntargets=") + bad + "\n"))
                      .find("is not a target pattern"),
                  std::string::npos)
            << bad;
}

TEST(ModuleConfigTest, SendsCredentialsOnlyToTheTargetsTheModuleLists)
{
    TempDir dir;
    const ModuleConfig config = ModuleConfig::Load(dir.WriteFile("modules.ini", TwoModules));
    const auto allows = [&](const char* module, const char* target)
    { return config.Find(module)->AllowsTarget(*ParseTarget(target)); };
    for (const char* target : {"127.0.0.1:12006", "127.0.0.1:1", "db7.example:12006", "DB7.Example:12006",
                               "10.9.200.1:12006", "192.168.7.255:5"})
        EXPECT_TRUE(allows("default", target)) << target;
    for (const char* target : {"127.0.0.10:12006", "db7.example:12007", "evil.example:12006",
                               "db7.sub.example:12006", "10.9.200.2:12006", "192.168.8.0:5",
                               // host names spelled so that the text of a numeric pattern would cover them
                               "127.0.0.1.attacker.example:12006", "10.9.200.1.attacker.example:12006"})
        EXPECT_FALSE(allows("default", target)) << target;

    EXPECT_TRUE(allows("remote", "10.1.2.3:12006"));
    EXPECT_FALSE(allows("remote", "10.1.2.33:12006"));

    // A module that lists no targets sends its credentials nowhere.
    const ModuleConfig bare = ModuleConfig::Load(dir.WriteFile("bare.ini", "[default]\nuser=u\n"));
    EXPECT_FALSE(bare.Find("")->AllowsTarget(*ParseTarget("127.0.0.1:12006")));
}

TEST(TargetTest, AcceptsHostColonPortOnly)
{
    const auto target = ParseTarget("db1.example:12006");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->Host, "db1.example");
    EXPECT_EQ(target->Port, 12006);
    EXPECT_EQ(ParseTarget("127.0.0.1:012006")->Endpoint(), "127.0.0.1:12006");

    // Other spellings of an address (127.1, hexadecimal, octal) would dodge the numeric patterns.
    for (const char* bad : {"", "db1", "db1:", ":12006", "db1:0", "db1:65536", "db1:12x", "a:b:1", "a b:1",
                            "127.1:12006", "0x7f.0.0.1:12006", "010.0.0.1:12006", "db..example:1", "db1.:1"})
        EXPECT_FALSE(ParseTarget(bad)) << bad;
}

} // namespace
