#include "admin/window/Settings.h"
#include "admin/dialogs/OptionsDlg.h"

#include "engine/wire/Utf8.h"
#include "session/KORVELSession.h"
#include "settings/IniFile.h"

namespace korvel::admin
{

namespace
{

constexpr const char* AdminSection = "Admin Info";
constexpr const char* MainWindow = "Main Window";
constexpr const char* Views = "Views";
constexpr const char* Trace = "Trace";

std::string ReadText(const IniFile& ini, const char* key, const std::string& defaultValue)
{
    return std::string(CutUtf8(ini.ReadString(AdminSection, key, defaultValue), MaxSettingBytes));
}

} // namespace

settings::Connection CutToSettingBytes(settings::Connection connection)
{
    for (std::string* text : {&connection.Host, &connection.Address, &connection.Service})
        *text = std::string(CutUtf8(*text, MaxSettingBytes));
    return connection;
}

AdminInfo ReadRemoteSettings(const IniFile& ini)
{
    const AdminInfo defaults;
    AdminInfo settings;
    settings::Connection& server = settings.Server;
    // Any type but 0 is Internet.
    server.Internet = ini.ReadInteger(AdminSection, "Remote Type", 0) != 0;
    server.Host = ReadText(ini, "Remote Host", defaults.Server.Host);
    server.Address = ReadText(ini, "Remote Address", defaults.Server.Address);
    // The port is a 16-bit number: a larger value in the file keeps its low 16 bits.
    server.Port =
        static_cast<std::uint16_t>(ini.ReadInteger(AdminSection, "Remote Port", defaults.Server.Port));
    server.Service = ReadText(ini, "Remote Service", defaults.Server.Service);
    settings.RemoteTracing = ini.ReadBool(AdminSection, "Remote Tracing", defaults.RemoteTracing);
    return settings;
}

void WriteRemoteSettings(IniFile& ini, const AdminInfo& settings)
{
    const settings::Connection& server = settings.Server;
    ini.WriteInteger(AdminSection, "Remote Type", server.Internet ? 1 : 0);
    ini.WriteString(AdminSection, "Remote Host", server.Host);
    ini.WriteString(AdminSection, "Remote Address", server.Address);
    ini.WriteInteger(AdminSection, "Remote Port", server.Port);
    ini.WriteString(AdminSection, "Remote Service", server.Service);
    ini.WriteBool(AdminSection, "Remote Tracing", settings.RemoteTracing);
}

void ApplyRemoteSettings(TKORVELSession& session, bool all, const AdminInfo& settings)
{
    if (all)
        session.SetConnection(settings.Server);
    session.SetRemoteTrace(settings.RemoteTracing);
}

namespace
{

std::string PlacementSection(const std::string& profile)
{
    return profile.empty() ? std::string(MainWindow) : std::string(MainWindow) + ": " + profile;
}

} // namespace

WindowPlacement ReadWindowPlacement(const IniFile& ini, const WindowPlacement& current,
                                    const std::string& profile)
{
    const std::string section = PlacementSection(profile);
    return {ini.ReadInteger(section, "Top", current.Top), ini.ReadInteger(section, "Left", current.Left),
            ini.ReadInteger(section, "Height", current.Height),
            ini.ReadInteger(section, "Width", current.Width),
            ini.ReadBool(section, "Maximized", current.Maximized)};
}

void WriteWindowPlacement(IniFile& ini, const WindowPlacement& placement, const std::string& profile)
{
    const std::string section = PlacementSection(profile);
    ini.WriteInteger(section, "Top", placement.Top);
    ini.WriteInteger(section, "Left", placement.Left);
    ini.WriteInteger(section, "Height", placement.Height);
    ini.WriteInteger(section, "Width", placement.Width);
    ini.WriteBool(section, "Maximized", placement.Maximized);
}

ViewSettings ReadViewSettings(const IniFile& ini)
{
    const ViewSettings defaults;
    return {ini.ReadInteger(Views, "Status Auto Refresh", defaults.AutoRefreshSeconds),
            ini.ReadBool(Views, "Status Session ID Column", defaults.ShowSessionId),
            ini.ReadBool(Views, "Status Mode Column", defaults.ShowMode),
            ini.ReadBool(Views, "Status State Column", defaults.ShowState)};
}

void WriteViewSettings(IniFile& ini, const ViewSettings& settings)
{
    ini.WriteInteger(Views, "Status Auto Refresh", settings.AutoRefreshSeconds);
    ini.WriteBool(Views, "Status Session ID Column", settings.ShowSessionId);
    ini.WriteBool(Views, "Status Mode Column", settings.ShowMode);
    ini.WriteBool(Views, "Status State Column", settings.ShowState);
}

OptionsValues OptionsOf(const AdminInfo& remote, const TraceSettings& trace)
{
    return {remote.Server, remote.RemoteTracing, trace.KeepTraceFile};
}

TraceSettings ReadTraceSettings(const IniFile& ini)
{
    return {ini.ReadBool(Trace, "Keep Trace File", false)};
}

void WriteTraceSettings(IniFile& ini, const TraceSettings& settings)
{
    ini.WriteBool(Trace, "Keep Trace File", settings.KeepTraceFile);
}

} // namespace korvel::admin
