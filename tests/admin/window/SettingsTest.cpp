// The settings file, the program's file names and the trace file.
#include "admin/window/Settings.h"
#include "admin/trace/TraceFile.h"
#include "admin/window/ProgramFiles.h"
#include "admin/window/VersionInfo.h"
#include "settings/IniFile.h"
#include "testing/admin/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

namespace korvel::test
{
namespace
{

using settings::IniFile;

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class SettingsTest : public ::testing::Test
{
protected:
    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    QTemporaryDir dir;
};

TEST_F(SettingsTest, MissingFileGivesEveryDefault)
{
    IniFile ini(Path("absent.ini").toStdString());
    admin::AdminInfo settings = admin::ReadRemoteSettings(ini);
    EXPECT_FALSE(settings.Server.Internet);
    EXPECT_EQ(settings.Server.Host, "");
    EXPECT_EQ(settings.Server.Address, "127.0.0.1");
    EXPECT_EQ(settings.Server.Port, 12006);
    EXPECT_EQ(settings.Server.Service, "");
    EXPECT_FALSE(settings.RemoteTracing);
    admin::WindowPlacement placement = admin::ReadWindowPlacement(ini, {1, 2, 3, 4});
    EXPECT_EQ(placement.Top, 1);
    EXPECT_EQ(placement.Left, 2);
    EXPECT_EQ(placement.Height, 3);
    EXPECT_EQ(placement.Width, 4);
}

TEST_F(SettingsTest, IntegersReadAsDecimalOrHexAndJunkGivesTheDefault)
{
    WriteAll(Path("s.ini"), "[Admin Info]\n"
                            "Remote Port=0x2EE6\n"
                            "Remote Type=0X01\n"
                            "Remote Tracing=7\n"
                            "[Main Window]\n"
                            "Top=twelve\n"
                            "Left=0x\n"
                            "Height=-20\n"
                            "Width=99999999999\n");
    IniFile ini(Path("s.ini").toStdString());
    admin::AdminInfo settings = admin::ReadRemoteSettings(ini);
    EXPECT_EQ(settings.Server.Port, 12006);
    EXPECT_TRUE(settings.Server.Internet);
    EXPECT_TRUE(settings.RemoteTracing);
    admin::WindowPlacement placement = admin::ReadWindowPlacement(ini, {5, 6, 7, 8});
    EXPECT_EQ(placement.Top, 5) << "not a number";
    EXPECT_EQ(placement.Left, 6) << "0x alone is no hexadecimal number";
    EXPECT_EQ(placement.Height, -20);
    EXPECT_EQ(placement.Width, 8) << "beyond 32 bits";

    WriteAll(Path("junk.ini"), "[admin info]\nremote port=twelve\n");
    EXPECT_EQ(admin::ReadRemoteSettings(IniFile(Path("junk.ini").toStdString())).Server.Port, 12006)
        << "keys and sections are found without regard to case";
}

TEST_F(SettingsTest, PortKeepsItsLow16BitsAndTextsAreCutTo255Bytes)
{
    QByteArray longHost(300, 'h');
    QByteArray accented = QByteArray(254, 'a') + "\xC3\xA9"; // 256 bytes, the last character two bytes wide
    WriteAll(Path("s.ini"), "[Admin Info]\nRemote Port=70000\nRemote Host=" + longHost +
                                "\nRemote Service=" + accented + "\n");
    admin::AdminInfo settings = admin::ReadRemoteSettings(IniFile(Path("s.ini").toStdString()));
    EXPECT_EQ(settings.Server.Port, 70000 - 65536);
    EXPECT_EQ(settings.Server.Host.size(), 255u);
    EXPECT_EQ(settings.Server.Service, std::string(254, 'a')) << "a character is never split";
}

TEST_F(SettingsTest, WritingKeepsUnknownKeysCommentsAndSpellingAndFlushesWholeFile)
{
    WriteAll(Path("s.ini"), "; kept comment\n"
                            "[Other]\n"
                            "Mine = 1\n"
                            "\n"
                            "[Admin Info]\n"
                            "REMOTE PORT=1\n"
                            "Custom Key=custom value\n");
    IniFile ini(Path("s.ini").toStdString());
    admin::AdminInfo settings;
    settings.Server.Host = "dbhost";
    settings.RemoteTracing = true;
    admin::WriteRemoteSettings(ini, settings);
    admin::WriteWindowPlacement(ini, {10, 20, 30, 40});
    ini.UpdateFile();

    EXPECT_EQ(ReadAll(Path("s.ini")), "; kept comment\n"
                                      "[Other]\n"
                                      "Mine = 1\n"
                                      "\n"
                                      "[Admin Info]\n"
                                      "REMOTE PORT=12006\n"
                                      "Custom Key=custom value\n"
                                      "Remote Type=0\n"
                                      "Remote Host=dbhost\n"
                                      "Remote Address=127.0.0.1\n"
                                      "Remote Service=\n"
                                      "Remote Tracing=1\n"
                                      "\n"
                                      "[Main Window]\n"
                                      "Top=10\n"
                                      "Left=20\n"
                                      "Height=30\n"
                                      "Width=40\n"
                                      "Maximized=0\n");
    EXPECT_EQ(admin::ReadRemoteSettings(IniFile(Path("s.ini").toStdString())), settings)
        << "what is written reads back";

    IniFile unwritable(Path("no-such-dir/s.ini").toStdString());
    unwritable.WriteInteger("A", "B", 1);
    EXPECT_THROW(unwritable.UpdateFile(), std::runtime_error);
}

TEST_F(SettingsTest, AnInstalledCopyKeepsItsFilesByTheDesktopsRulesAndABuildTreeBesideTheProgram)
{
    ScriptedDialogs dialogs; // every directory writable
    for (const char* dir : {"usr/bin", "usr/share/korvel-admin", "opt/bin", "build/admin"})
        QDir().mkpath(Path(dir));
    qputenv("XDG_STATE_HOME", Path("state").toUtf8());
    qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", Path("home").toUtf8());
    // The program, then where its settings, trace, help and dialogs go.
    for (const std::array<const char*, 5>& row : std::vector<std::array<const char*, 5>>{
             {"build/admin/korvel-admin", "build/admin/korvel-admin.ini", "build/admin/korvel-admin7.LOG",
              "build/admin/korvel-admin.hlp", "build/admin/"},
             // A bin directory alone is no installation.
             {"opt/bin/korvel-admin", "opt/bin/korvel-admin.ini", "opt/bin/korvel-admin7.LOG",
              "opt/bin/korvel-admin.hlp", "opt/bin/"},
             {"usr/bin/korvel-admin", "config/korvel-admin/korvel-admin.ini",
              "state/korvel-admin/korvel-admin7.LOG", "usr/share/korvel-admin/korvel-admin.hlp",
              "home/Documents/"}})
    {
        const admin::ProgramFiles files = admin::ProgramFiles::OfProgram(Path(row[0]));
        const QStringList got{files.SettingsFileName("korvel-admin", dialogs),
                              files.TraceFileName(7, dialogs), files.HelpFileName(), files.DialogStartDir()};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(got[i], Path(row[i + 1])) << row[0];
    }
    qputenv("HOME", home);
    qunsetenv("XDG_STATE_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, ProgramFileNamesFollowTheProgramAndFallBackToXdgDirectories)
{
    ScriptedDialogs dialogs;
    admin::ProgramFiles admin = admin::ProgramFiles::OfProgram("/opt/tools/ADMIN.EXE");
    EXPECT_EQ(admin.ProgramDir, "/opt/tools/");
    EXPECT_EQ(admin.ProgramBaseName, "ADMIN");
    admin::ProgramFiles bin = admin::ProgramFiles::OfProgram("/opt/tools/admin.bin");
    EXPECT_EQ(bin.ProgramBaseName, "admin.bin");
    EXPECT_EQ(bin.HelpFileName(), "/opt/tools/admin.bin.hlp");
    EXPECT_EQ(admin::ProgramFiles::OfProgram("admin").ProgramDir, "") << "an empty directory stays empty";

    EXPECT_EQ(bin.TraceFileName(1234, dialogs), "/opt/tools/admin.bin1234.LOG");
    EXPECT_NE(bin.TraceFileName(1234, dialogs), bin.TraceFileName(1235, dialogs))
        << "two copies from one directory trace to separate files";
    EXPECT_EQ(bin.SettingsFileName(" korvel-admin ", dialogs), "/opt/tools/korvel-admin.ini");

    dialogs.DirectoriesWritable = false;
    qputenv("XDG_STATE_HOME", Path("state").toUtf8());
    qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
    EXPECT_EQ(bin.TraceFileName(7, dialogs), Path("state/korvel-admin/admin.bin7.LOG"));
    EXPECT_EQ(bin.SettingsFileName("korvel-admin", dialogs), Path("config/korvel-admin/korvel-admin.ini"));
    EXPECT_TRUE(QFile::exists(Path("state/korvel-admin"))) << "the fallback directory is made";
    qunsetenv("XDG_STATE_HOME");
    qunsetenv("XDG_CONFIG_HOME");

    // A demo or a test names its own settings file; nothing else moves.
    qputenv("KORVEL_ADMIN_SETTINGS", Path("demo/korvel-admin.ini").toUtf8());
    admin::ProgramFiles self = admin::ProgramFiles::OfThisProgram();
    qunsetenv("KORVEL_ADMIN_SETTINGS");
    EXPECT_EQ(self.SettingsFileName("korvel-admin", dialogs), Path("demo/korvel-admin.ini"));
    EXPECT_TRUE(admin::ProgramFiles::OfThisProgram().SettingsFile.isEmpty()) << "without it, the usual file";
    EXPECT_FALSE(self.TraceFileName(7, dialogs).contains("demo"));

    admin::VersionInfo version = admin::VersionInfo::OfThisProgram();
    EXPECT_EQ(version.ProductName, "KORVEL Admin");
    EXPECT_EQ(version.SettingsBaseName(), "korvel-admin");
    EXPECT_EQ((admin::VersionInfo{"", "dir.d/admin.exe", ""}.SettingsBaseName()), "dir.d/admin");
    EXPECT_EQ((admin::VersionInfo{"", "dir.d/admin", ""}.SettingsBaseName()), "dir.d/admin");
}

TEST_F(SettingsTest, TraceFileAppendsLinesWithCrLfAndIsDeletedAtTheEnd)
{
    QString path = Path("admin1.LOG");
    WriteAll(path, "earlier\r\n");
    {
        admin::TraceFile trace(path);
        trace.WriteLine("dropped while closed");
        trace.Open();
        trace.WriteLine("first");
        trace.WriteLine("second");
        EXPECT_EQ(ReadAll(path), "earlier\r\nfirst\r\nsecond\r\n") << "each line is flushed at once";
        trace.Close();
        trace.Open();
        trace.WriteLine("third");
        EXPECT_EQ(ReadAll(path), "earlier\r\nfirst\r\nsecond\r\nthird\r\n");
        trace.Remove();
        EXPECT_FALSE(QFile::exists(path));
    }
    WriteAll(Path("a-file"), "");
    admin::TraceFile unopenable(Path("a-file/x.LOG")); // a missing folder is made, a file in the way is not
    EXPECT_THROW(unopenable.Open(), std::runtime_error);
}

} // namespace
} // namespace korvel::test
