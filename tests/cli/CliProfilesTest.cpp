// Connection profiles from the command line: `profile list|show|add|edit|remove` on the file the window
// shares,
// `--profile NAME` with options given on the command line winning, and the password kept in the keyring.
#include "CliTest.h"

#include "credentials/Keyring.h"
#include "settings/Profiles.h"
#include "testing/LockedKeyring.h"
#include "testing/SshServer.h"

#include <cstdlib>
#include <filesystem>

namespace korvel::test
{
namespace
{

using settings::Profile;

class CliProfilesTest : public CliTest
{
protected:
    CliProfilesTest() : config(std::filesystem::temp_directory_path() / ("korvel-cli-profiles-" + Pid()))
    {
        std::filesystem::remove_all(config);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1); // the CLI inherits it
    }
    ~CliProfilesTest() override { std::filesystem::remove_all(config); }

    static std::string Pid() { return std::to_string(::getpid()); }

    Profile ToServer(const std::string& name, const std::string& user, bool keepPassword = false)
    {
        Profile profile;
        profile.Name = name;
        profile.Server.Address = "127.0.0.1";
        profile.Server.Port = static_cast<std::uint16_t>(server.AdminPort());
        profile.User = user;
        profile.KeepPassword = keepPassword;
        settings::ProfileStore().Save(profile);
        return profile;
    }

    std::filesystem::path config;
};

// Skips (or, under CI=true, fails) when the wrapper could not start a Secret Service.
#define REQUIRE_SECRET_SERVICE()                                                                             \
    do                                                                                                       \
    {                                                                                                        \
        if (const char* reason = std::getenv("KORVEL_NO_SECRET_SERVICE"))                                    \
        {                                                                                                    \
            if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true")                         \
                FAIL() << "no Secret Service under CI: " << reason;                                          \
            GTEST_SKIP() << "no Secret Service to test against (run through with-secret-service.sh): "       \
                         << reason;                                                                          \
        }                                                                                                    \
    } while (false)

TEST_F(CliProfilesTest, ProfilesAreAddedListedShownAndRemovedWithoutAServer)
{
    CliRun add = RunCli({"profile", "add", "Office", "--host", "db.example.org", "--port", "12010",
                         "--internet", "--user", "ops", "--keep-password"});
    EXPECT_EQ(add.Status, 0) << add.Err;
    EXPECT_EQ(RunCli({"profile", "add", "Lab", "--address", "10.0.0.7", "--service", "korvel"}).Status, 0);

    std::optional<Profile> office = settings::ProfileStore().Find("Office");
    ASSERT_TRUE(office);
    EXPECT_EQ(*office, (Profile{"Office", {true, "db.example.org", "", 12010, ""}, "ops", true}));

    CliRun show = RunCli({"--json", "profile", "show", "office"});
    EXPECT_EQ(show.Status, 0) << show.Err;
    EXPECT_EQ(show.Out,
              "{\"name\":\"Office\",\"mode\":\"internet\",\"host\":\"db.example.org\",\"address\":\"\","
              "\"port\":12010,\"service\":\"\",\"user\":\"ops\",\"keep_password\":true}\n");

    settings::ProfileStore().MarkUsed("Lab");
    CliRun list = RunCli({"profile", "list"});
    EXPECT_EQ(list.Status, 0);
    EXPECT_TRUE(list.Out.starts_with("name    mode      host")) << list.Out;
    EXPECT_LT(list.Out.find("Lab "), list.Out.find("Office ")) << "the last used first:\n" << list.Out;

    // Mistakes are usage errors and change nothing.
    EXPECT_EQ(RunCli({"profile", "add", "OFFICE", "--host", "x", "--port", "1"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "add", "NoServer", "--port", "1"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "add", "NoPort", "--host", "x"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "add", "[bad]", "--host", "x", "--port", "1"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "show", "Home"}).Status, 2);
    EXPECT_EQ(settings::ProfileStore().List().size(), 2u);

    EXPECT_EQ(RunCli({"profile", "remove", "Office"}).Status, 0);
    EXPECT_EQ(RunCli({"profile", "remove", "Office"}).Status, 2);
    EXPECT_EQ(RunCli({"--json", "profile", "list"}).Out,
              "[{\"name\":\"Lab\",\"mode\":\"lan\",\"host\":\"\",\"address\":\"10.0.0.7\",\"port\":0,"
              "\"service\":\"korvel\",\"user\":\"\",\"keep_password\":false}]\n");
}

TEST_F(CliProfilesTest, AProfileSuppliesTheConnectionAndUserAndGivenOptionsWin)
{
    ToServer("Here", "admin");
    CliRun plain = RunCli({"--profile", "Here", "--password", "secret", "--json", "version"});
    EXPECT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_EQ(plain.Out, "{\"engine_version\":\"3.21\"}\n");

    // A profile pointing at a closed port and another user: --port and --user on the command line win.
    Profile elsewhere = ToServer("Elsewhere", "nobody");
    elsewhere.Server.Port = 1;
    settings::ProfileStore().Save(elsewhere);
    CliRun refused = RunCli({"--profile", "Elsewhere", "--password", "secret", "version"});
    EXPECT_EQ(refused.Status, 1);
    CliRun overridden = RunCli({"--profile", "Elsewhere", "--port", std::to_string(server.AdminPort()),
                                "--user", "admin", "--password", "secret", "version"});
    EXPECT_EQ(overridden.Status, 0) << overridden.Err;

    // The profile's user is the one that logs in: a wrong one is refused by the server.
    ToServer("Stranger", "nobody");
    CliRun stranger = RunCli({"--profile", "Stranger", "--password", "secret", "version"});
    EXPECT_EQ(stranger.Status, 1);
    EXPECT_NE(stranger.Err.find("11287"), std::string::npos) << stranger.Err;

    CliRun missing = RunCli({"--profile", "Nowhere", "version"});
    EXPECT_EQ(missing.Status, 2);
    EXPECT_NE(missing.Err.find("no profile named Nowhere"), std::string::npos) << missing.Err;
}

TEST_F(CliProfilesTest, AKeptPasswordComesFromTheKeyringWhenASessionBusIsThere)
{
    REQUIRE_SECRET_SERVICE();
    ToServer("Kept", "admin", true);
    credentials::CredentialKey key = credentials::CredentialKey::ForProfile("Kept", "admin");
    credentials::StorePassword(key, "secret");

    CliRun kept = RunCli({"--profile", "Kept", "--json", "version"});
    EXPECT_EQ(kept.Status, 0) << kept.Err;
    CliRun samePort = RunCli({"--profile", "Kept", "--port", std::to_string(server.AdminPort()), "version"});
    EXPECT_EQ(samePort.Status, 0) << samePort.Err;

    // The kept password is for the profile's own server: given another one, it is not sent there.
    for (const std::vector<std::string>& elsewhere : std::vector<std::vector<std::string>>{
             {"--host", "localhost"}, {"--address", "127.0.0.2"}, {"--port", "1"}, {"--service", "korvel"}})
    {
        std::vector<std::string> args{"--profile", "Kept"};
        args.insert(args.end(), elsewhere.begin(), elsewhere.end());
        args.push_back("version");
        CliRun run = RunCli(args);
        EXPECT_EQ(run.Status, 2) << elsewhere[0] << ": " << run.Err;
        EXPECT_NE(run.Err.find("a user name and password are needed"), std::string::npos) << run.Err;
    }

    // Without a session bus the keyring is not asked, and without a terminal that is a usage error.
    std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    CliRun noBus = RunCli({"--profile", "Kept", "version"});
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    EXPECT_EQ(noBus.Status, 2) << noBus.Err;

    // A kept password the server refuses is asked on the terminal and offered to the keyring.
    credentials::StorePassword(key, "outdated");
    std::string terminal;
    CliRun refused = RunCliOnTerminal({"--profile", "Kept", "version"},
                                      {{"User name: ", "admin\n"},
                                       {"Password: ", "secret\n"},
                                       {"Keep this password in the keyring", "y\n"}},
                                      terminal);
    EXPECT_EQ(refused.Status, 0) << refused.Err << terminal;
    EXPECT_EQ(credentials::LookupPassword(key), "secret") << terminal;

    // Removing the profile removes its kept password.
    EXPECT_EQ(RunCli({"profile", "remove", "Kept"}).Status, 0);
    EXPECT_EQ(credentials::LookupPassword(key), std::nullopt);
}

TEST_F(CliProfilesTest, ATypedSshPassphraseIsKeptUnderItsOwnEntryAndServesTheNextRunWithoutATerminal)
{
    REQUIRE_SECRET_SERVICE();
    TempDir home("korvel-ssh-home");
    std::filesystem::create_directory(home / ".ssh");
    const std::string key = home / "locked";
    GenerateKey(key, "open sesame");
    SshServerOptions options;
    options.AuthorizedKeys = {key + ".pub"};
    SshServer bastion(options);
    home.WriteFile(".ssh/known_hosts", bastion.KnownHostsLine() + "\n");
    const std::vector<std::string> environment{"HOME=" + home.Path(), "SSH_AUTH_SOCK="};
    ASSERT_EQ(RunCli({"profile", "add", "Bastioned", "--address", "127.0.0.1", "--port",
                      std::to_string(server.AdminPort()), "--user", "admin", "--keep-password", "--ssh",
                      "127.0.0.1:" + std::to_string(bastion.Port()), "--ssh-identity", key})
                  .Status,
              0);

    const std::vector<std::string> args{"--profile", "Bastioned", "--password", "secret", "version"};
    const TerminalRun typed = RunCliOnTerminal(
        args,
        {{"Passphrase for ~/locked: ", "open sesame\n"},
         {"Keep the passphrase of the key " + key + " in the keyring for the profile? [y/N] ", "y\n"}},
        environment);
    EXPECT_EQ(typed.Run.Status, 0) << typed.Run.Err << typed.Text;
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForSshKey(key)), "open sesame");
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForProfile("Bastioned", "admin")),
              std::nullopt);

    const CliRun kept = RunCli(args, environment);
    EXPECT_EQ(kept.Status, 0) << kept.Err;
    EXPECT_EQ(bastion.Connections(), 2);
}

TEST_F(CliProfilesTest, EditChangesOnlyTheGivenFields)
{
    ASSERT_EQ(RunCli({"profile", "add", "Office", "--host", "db.example.org", "--port", "12010", "--internet",
                      "--user", "ops"})
                  .Status,
              0);
    ASSERT_EQ(RunCli({"profile", "add", "Lab", "--address", "10.0.0.7", "--service", "korvel"}).Status, 0);

    CliRun edit = RunCli({"profile", "edit", "office", "--port", "12011", "--lan", "--keep-password"});
    EXPECT_EQ(edit.Status, 0) << edit.Err;
    EXPECT_EQ(settings::ProfileStore().Find("Office"),
              (Profile{"Office", {false, "db.example.org", "", 12011, ""}, "ops", true}));

    // An empty value clears a field; --rename keeps the profile's place among the others.
    EXPECT_EQ(RunCli({"profile", "edit", "Lab", "--rename", "Lab 2", "--host", "lab.example.org", "--address",
                      "", "--internet", "--forget-password"})
                  .Status,
              0);
    EXPECT_EQ(settings::ProfileStore().Find("Lab 2"),
              (Profile{"Lab 2", {true, "lab.example.org", "", 0, "korvel"}, "", false}));
    EXPECT_FALSE(settings::ProfileStore().Find("Lab"));
    EXPECT_EQ(RunCli({"profile", "edit", "Lab 2", "--rename", "LAB 2"}).Status, 0) << "a change of case";
    EXPECT_TRUE(settings::ProfileStore().Find("LAB 2"));

    // Mistakes are usage errors and change nothing.
    const std::vector<Profile> before = settings::ProfileStore().List();
    CliRun unknown = RunCli({"profile", "edit", "Home", "--port", "1"});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_NE(unknown.Err.find("there is no profile named Home"), std::string::npos) << unknown.Err;
    CliRun taken = RunCli({"profile", "edit", "LAB 2", "--rename", "office"});
    EXPECT_EQ(taken.Status, 2);
    EXPECT_NE(taken.Err.find("a profile named Office already exists"), std::string::npos) << taken.Err;
    EXPECT_EQ(RunCli({"profile", "edit", "Office", "--rename", "[bad]"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "edit", "Office", "--host", ""}).Status, 2) << "neither host nor address";
    EXPECT_EQ(RunCli({"profile", "edit", "LAB 2", "--service", ""}).Status, 2) << "neither port nor service";
    EXPECT_EQ(RunCli({"profile", "edit", "Office", "--lan", "--internet"}).Status, 2);
    EXPECT_EQ(RunCli({"profile", "edit", "Office", "--port", "0"}).Status, 2);
    EXPECT_EQ(settings::ProfileStore().List(), before);
}

TEST_F(CliProfilesTest, ARenameMovesTheKeptPasswordAndAnotherUserDropsIt)
{
    REQUIRE_SECRET_SERVICE();
    ToServer("Kept", "admin", true);
    credentials::CredentialKey kept = credentials::CredentialKey::ForProfile("Kept", "admin");
    credentials::CredentialKey renamed = credentials::CredentialKey::ForProfile("Kept here", "admin");
    credentials::StorePassword(kept, "secret");

    // Without a session bus the password could not follow: nothing changes.
    std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    CliRun noBus = RunCli({"profile", "edit", "Kept", "--rename", "Kept here"});
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    EXPECT_EQ(noBus.Status, 1);
    EXPECT_NE(noBus.Err.find("nothing was changed"), std::string::npos) << noBus.Err;
    EXPECT_TRUE(settings::ProfileStore().Find("Kept"));

    CliRun rename = RunCli({"profile", "edit", "Kept", "--rename", "Kept here"});
    EXPECT_EQ(rename.Status, 0) << rename.Err;
    EXPECT_EQ(credentials::LookupPassword(renamed), "secret");
    EXPECT_EQ(credentials::LookupPassword(kept), std::nullopt);
    CliRun login = RunCli({"--profile", "Kept here", "--json", "version"});
    EXPECT_EQ(login.Status, 0) << login.Err;

    // Another user has another password; so does a profile that stops keeping it.
    EXPECT_EQ(RunCli({"profile", "edit", "Kept here", "--user", "ops"}).Status, 0);
    EXPECT_EQ(credentials::LookupPassword(renamed), std::nullopt);
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForProfile("Kept here", "ops")),
              std::nullopt);
    credentials::StorePassword(credentials::CredentialKey::ForProfile("Kept here", "ops"), "other");
    EXPECT_EQ(RunCli({"profile", "edit", "Kept here", "--forget-password", "--rename", "Plain"}).Status, 0);
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForProfile("Kept here", "ops")),
              std::nullopt);
    EXPECT_EQ(credentials::LookupPassword(credentials::CredentialKey::ForProfile("Plain", "ops")),
              std::nullopt);
}

// Run alone, on a Secret Service of its own: it leaves the keyring locked.
TEST_F(CliProfilesTest, LockedKeyringARenameThatCannotMoveThePasswordChangesNothing)
{
    REQUIRE_SECRET_SERVICE();
    ToServer("Kept", "admin", true);
    credentials::CredentialKey kept = credentials::CredentialKey::ForProfile("Kept", "admin");
    ASSERT_EQ(StoreInSessionCollection(kept, "secret"), "");
    ASSERT_EQ(LockDefaultCollection(), "");

    CliRun rename = RunCli({"profile", "edit", "Kept", "--rename", "Kept here", "--port", "1"});
    EXPECT_EQ(rename.Status, 1);
    EXPECT_TRUE(
        rename.Err.starts_with("Cannot store the password under the new name, so it stays under the old "
                               "one: "))
        << rename.Err;
    EXPECT_NE(rename.Err.find("nothing was changed"), std::string::npos) << rename.Err;
    EXPECT_EQ(credentials::LookupPassword(kept), "secret");
    ASSERT_TRUE(settings::ProfileStore().Find("Kept"));
    EXPECT_EQ(settings::ProfileStore().Find("Kept")->Server.Port, server.AdminPort());
    EXPECT_FALSE(settings::ProfileStore().Find("Kept here"));
}

} // namespace
} // namespace korvel::test
