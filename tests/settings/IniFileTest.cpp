// The INI file as the settings and profile files use it: key-by-key edits that keep everything else.
#include "settings/IniFile.h"
#include "testing/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace korvel::test
{
namespace
{

using settings::IniFile;

class IniFileTest : public ::testing::Test
{
protected:
    std::string Path(const std::string& name) const { return dir / name; }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const
    {
        std::ostringstream text;
        text << std::ifstream(Path(name), std::ios::binary).rdbuf();
        return text.str();
    }

    TempDir dir{"korvel-ini"};
};

TEST_F(IniFileTest, ReadsCrLfFilesAndFindsNamesWithoutRegardToCase)
{
    Write("a.ini", "[Admin Info]\r\nRemote Port = 0x2EE6 \r\n; Remote Host=commented\r\n[other]\r\nx=1\r\n");
    IniFile ini(Path("a.ini"));
    EXPECT_EQ(ini.ReadInteger("admin info", "REMOTE PORT", 0), 12006);
    EXPECT_EQ(ini.ReadString("Admin Info", "Remote Host", "none"), "none") << "a comment is no key";
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Admin Info", "other"}));
    EXPECT_EQ(ini.Keys("Admin Info"), (std::vector<std::string>{"Remote Port"}));
    EXPECT_EQ(ini.ReadInteger("other", "x", 0), 1);
    EXPECT_EQ(IniFile::ParseInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(IniFile::ParseInteger("+7"), 7);
    EXPECT_FALSE(IniFile::ParseInteger("7x"));
    EXPECT_FALSE(IniFile::ParseInteger(""));
    EXPECT_FALSE(IniFile::ParseInteger("99999999999"));
}

TEST_F(IniFileTest, EditsTouchOnlyTheirOwnLines)
{
    Write("b.ini", "; head\n[one]\nKeep=1\nDrop=2\n\n[two]\nz=9\n[three]\nq=1\n");
    IniFile ini(Path("b.ini"));
    ini.DeleteKey("one", "drop");
    ini.EraseSection("two");
    ini.WriteString("one", "New Key", "multi\nline");
    ini.WriteBool("four", "On", true);
    ini.UpdateFile();
    EXPECT_EQ(Read("b.ini"), "; head\n[one]\nKeep=1\nNew Key=multi line\n\n[three]\nq=1\n\n[four]\nOn=1\n");
}

TEST_F(IniFileTest, UpdateReplacesTheFileWholeAndKeepsItsPermissions)
{
    IniFile secret(Path("private.ini"));
    secret.WriteString("s", "k", "v");
    secret.UpdateFile(0600);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(Path("private.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a new file gets the asked mode";

    ::chmod(Path("private.ini").c_str(), 0640);
    IniFile again(Path("private.ini"));
    again.WriteString("s", "k", "w");
    again.UpdateFile();
    ASSERT_EQ(::stat(Path("private.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "an existing file keeps its mode";
    EXPECT_EQ(Read("private.ini"), "[s]\nk=w\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary file is left";

    IniFile unwritable(Path("missing/dir.ini"));
    unwritable.WriteString("s", "k", "v");
    EXPECT_THROW(unwritable.UpdateFile(), std::runtime_error);
}

} // namespace
} // namespace korvel::test
