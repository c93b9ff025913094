// Connection profiles as the window and the CLI keep them: what is saved reads back, the last used comes
// first, and keys or comments another program wrote stay in the file.
#include "settings/Profiles.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace korvel::test
{
namespace
{

using settings::Profile;
using settings::ProfileStore;

class ProfilesTest : public ::testing::Test
{
protected:
    // In a directory that does not exist yet: saving creates it.
    std::string FileName() const { return dir / "korvel-admin/profiles.ini"; }
    std::string Text() const
    {
        std::ostringstream text;
        text << std::ifstream(FileName(), std::ios::binary).rdbuf();
        return text.str();
    }

    TempDir dir{"korvel-profiles"};
};

Profile Named(const std::string& name)
{
    Profile profile;
    profile.Name = name;
    return profile;
}

Profile Office()
{
    return {"Office", {true, "db.example.org", "10.0.0.5", 12010, ""}, "admin", true};
}

TEST_F(ProfilesTest, SavedProfilesReadBackUnchangedInAFileForTheUserAlone)
{
    ProfileStore store(FileName());
    EXPECT_TRUE(store.List().empty()); // no file yet
    Profile lab{"Lab server", {false, "", "127.0.0.1", 0, "korvel-admin"}, "ops", false};
    store.Save(Office());
    store.Save(lab);

    ProfileStore again(FileName());
    EXPECT_EQ(again.Find("Office"), Office());
    EXPECT_EQ(again.Find("lab SERVER"), lab); // names match without regard to case
    EXPECT_FALSE(again.Find("Home"));
    EXPECT_EQ(again.List().size(), 2u);

    // Only the user may read a file that names servers and users.
    struct stat info
    {
    };
    ASSERT_EQ(::stat(FileName().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ProfilesTest, AProfileThroughAnSshServerKeepsItsSshKeysAndDropsThemWhenNoLongerThroughOne)
{
    ProfileStore store(FileName());
    Profile bastion = Office();
    bastion.Server.Ssh.Host = "bastion.example.org";
    bastion.Server.Ssh.Port = 2222;
    bastion.Server.Ssh.User = "ops";
    bastion.Server.Ssh.IdentityFile = "~/.ssh/id_bastion";
    store.Save(bastion);
    EXPECT_EQ(ProfileStore(FileName()).Find("Office"), bastion);
    EXPECT_NE(Text().find("SSH Host=bastion.example.org\nSSH Port=2222\nSSH User=ops\n"
                          "SSH Identity File=~/.ssh/id_bastion\n"),
              std::string::npos)
        << Text();

    store.Save(Office());
    EXPECT_EQ(ProfileStore(FileName()).Find("Office"), Office());
    EXPECT_EQ(Text().find("SSH "), std::string::npos) << Text();
}

TEST_F(ProfilesTest, TheLastUsedComesFirstAndNeverUsedOnesKeepFileOrder)
{
    ProfileStore store(FileName());
    for (const char* name : {"A", "B", "C", "D"})
        store.Save(Named(name));
    store.MarkUsed("C");
    store.MarkUsed("a");
    auto names = [&]
    {
        std::vector<std::string> result;
        for (const Profile& profile : ProfileStore(FileName()).List())
            result.push_back(profile.Name);
        return result;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "C", "B", "D"}));
    store.MarkUsed("C");
    Profile b = Named("B");
    b.Server.Internet = true;
    store.Save(b); // editing is not using
    EXPECT_EQ(names(), (std::vector<std::string>{"C", "A", "B", "D"}));
}

TEST_F(ProfilesTest, EditsRenamesAndRemovalsKeepWhatOtherProgramsWrote)
{
    std::filesystem::create_directories(dir / "korvel-admin");
    std::ofstream(FileName()) << "; written by hand\n"
                                 "[Office]\nRemote Host=old.example.org\nColour=blue\n\n"
                                 "[Other]\nX-Tool Setting=1\n";
    ProfileStore store(FileName());
    Profile office = Office();
    store.Save(office);
    EXPECT_NE(Text().find("Colour=blue"), std::string::npos);
    EXPECT_NE(Text().find("; written by hand"), std::string::npos);
    EXPECT_EQ(Text().find("old.example.org"), std::string::npos);

    store.MarkUsed("Office");
    office.Name = "Head office";
    store.Replace("Office", office);
    EXPECT_FALSE(store.Find("Office"));
    EXPECT_EQ(store.Find("Head office"), office);
    EXPECT_NE(Text().find("[Head office]\nRemote Host=db.example.org\nColour=blue"), std::string::npos)
        << Text();
    EXPECT_EQ(store.List().front().Name, "Head office"); // the last-used place went along

    EXPECT_THROW(store.Replace("Head office", Named("other")), std::invalid_argument); // taken
    EXPECT_TRUE(store.Remove("HEAD OFFICE"));
    EXPECT_FALSE(store.Remove("Head office"));
    EXPECT_NE(Text().find("[Other]\nX-Tool Setting=1"), std::string::npos) << Text();
}

TEST_F(ProfilesTest, NamesThatCannotBeSectionHeadersAreRefused)
{
    ProfileStore store(FileName());
    for (const char* bad : {"", "a]b", "[x", "two\nlines", " padded", "padded ", ";comment"})
    {
        EXPECT_TRUE(settings::ProfileNameProblem(bad)) << bad;
        EXPECT_THROW(store.Save(Named(bad)), std::invalid_argument) << bad;
    }
    EXPECT_FALSE(settings::ProfileNameProblem("Main server (EU) #2"));
    EXPECT_FALSE(std::filesystem::exists(FileName()));
}

TEST(ProfilesFileName, FollowsTheXdgConfigurationDirectory)
{
    std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(settings::DefaultProfilesFileName(), "/tmp/cfg/korvel-admin/profiles.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
    EXPECT_EQ(settings::DefaultProfilesFileName(),
              std::string(std::getenv("HOME")) + "/.config/korvel-admin/profiles.ini");
    if (!saved.empty())
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

} // namespace
} // namespace korvel::test
