#include "admin/window/Settings.h"
#include "admin/dialogs/OptionsDlg.h"

#include "engine/wire/Utf8.h"
#include "session/KORVELSession.h"
#include "settings/IniFile.h"

namespace korvel::admin
{

namespace
{

constexpr const char* AdminInfo = "Admin Info";
constexpr const char* MainWindow = "Main Window";
constexpr const char* Views = "Views";
constexpr const char* Trace = "Trace";

QString ReadText(const IniFile& ini, const char* key, const QString& defaultValue)
{
    return CutToSettingBytes(
        QString::fromStdString(ini.ReadString(AdminInfo, key, defaultValue.toStdString())));
}

} // namespace

QString CutToSettingBytes(const QString& text)
{
    std::string bytes = text.toStdString();
    return QString::fromStdString(std::string(CutUtf8(bytes, MaxSettingBytes)));
}

settings::Connection ConnectionOf(const RemoteSettings& remote)
{
    return {remote.RemoteType != 0, remote.RemoteHost.toStdString(), remote.RemoteAddress.toStdString(),
            remote.RemotePort, remote.RemoteService.toStdString()};
}

RemoteSettings WithConnection(RemoteSettings remote, const settings::Connection& connection)
{
    auto cut = [](const std::string& text) { return CutToSettingBytes(QString::fromStdString(text)); };
    remote.RemoteType = connection.Internet ? 1 : 0;
    remote.RemoteHost = cut(connection.Host);
    remote.RemoteAddress = cut(connection.Address);
    remote.RemotePort = connection.Port;
    remote.RemoteService = cut(connection.Service);
    return remote;
}

RemoteSettings ReadRemoteSettings(const IniFile& ini)
{
    RemoteSettings defaults;
    RemoteSettings settings;
    settings.RemoteType =
        static_cast<std::uint8_t>(ini.ReadInteger(AdminInfo, "Remote Type", defaults.RemoteType));
    settings.RemoteHost = ReadText(ini, "Remote Host", defaults.RemoteHost);
    settings.RemoteAddress = ReadText(ini, "Remote Address", defaults.RemoteAddress);
    // The port is a 16-bit number: a larger value in the file keeps its low 16 bits.
    settings.RemotePort =
        static_cast<std::uint16_t>(ini.ReadInteger(AdminInfo, "Remote Port", defaults.RemotePort));
    settings.RemoteService = ReadText(ini, "Remote Service", defaults.RemoteService);
    settings.RemoteTracing = ini.ReadBool(AdminInfo, "Remote Tracing", defaults.RemoteTracing);
    return settings;
}

void WriteRemoteSettings(IniFile& ini, const RemoteSettings& settings)
{
    ini.WriteInteger(AdminInfo, "Remote Type", settings.RemoteType);
    ini.WriteString(AdminInfo, "Remote Host", settings.RemoteHost.toStdString());
    ini.WriteString(AdminInfo, "Remote Address", settings.RemoteAddress.toStdString());
    ini.WriteInteger(AdminInfo, "Remote Port", settings.RemotePort);
    ini.WriteString(AdminInfo, "Remote Service", settings.RemoteService.toStdString());
    ini.WriteBool(AdminInfo, "Remote Tracing", settings.RemoteTracing);
}

void ApplyRemoteSettings(TKORVELSession& session, bool all, const RemoteSettings& settings)
{
    if (all)
    {
        session.SetRemoteType(settings.RemoteType != 0 ? rtInternet : rtLAN);
        session.SetRemoteHost(settings.RemoteHost.toStdString());
        session.SetRemoteAddress(settings.RemoteAddress.toStdString());
        session.SetRemotePort(settings.RemotePort);
        session.SetRemoteService(settings.RemoteService.toStdString());
    }
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

OptionsValues OptionsOf(const RemoteSettings& remote, const TraceSettings& trace)
{
    return {ConnectionOf(remote), remote.RemoteTracing, trace.KeepTraceFile};
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
