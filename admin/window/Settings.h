// The settings file's sections: the connection settings ("Admin Info"), the window placement ("Main Window",
// and one section for each profile a window was opened on),
// how the user left the pages' views ("Views") and what happens to the trace file ("Trace"); older files lack
// the last two, whose defaults then apply.
#pragma once

#include "admin/common/AdminPage.h"
#include "settings/Connection.h"
#include "settings/IniFile.h"

#include <QString>

#include <cstdint>
#include <string>

namespace korvel
{
class TKORVELSession;
}

namespace korvel::admin
{

struct OptionsValues;

using settings::IniFile;
using settings::MaxSettingBytes;

// Cut to at most MaxSettingBytes of UTF-8 on a character boundary.
QString CutToSettingBytes(const QString& text);

struct RemoteSettings
{
    std::uint8_t RemoteType = 0; // 0 LAN, anything else Internet
    QString RemoteHost;
    QString RemoteAddress = "127.0.0.1";
    std::uint16_t RemotePort = 12006;
    QString RemoteService;
    bool RemoteTracing = false;

    bool operator==(const RemoteSettings&) const = default;
};

// Where the settings lead, and `remote` leading to `connection` instead (its texts cut to MaxSettingBytes).
settings::Connection ConnectionOf(const RemoteSettings& remote);
RemoteSettings WithConnection(RemoteSettings remote, const settings::Connection& connection);

RemoteSettings ReadRemoteSettings(const IniFile& ini);
// Writes the six keys in their order; the caller flushes.
void WriteRemoteSettings(IniFile& ini, const RemoteSettings& settings);

// Copies the settings to the session: with `all`, the connection properties (which an active session
// refuses), and always the tracing flag, which takes effect at once.
void ApplyRemoteSettings(TKORVELSession& session, bool all, const RemoteSettings& settings);

struct TraceSettings
{
    bool KeepTraceFile = false; // the trace file outlives the program (deleted at exit by default)
};

TraceSettings ReadTraceSettings(const IniFile& ini);
void WriteTraceSettings(IniFile& ini, const TraceSettings& settings);

// What the Options dialog starts from.
OptionsValues OptionsOf(const RemoteSettings& remote, const TraceSettings& trace);

// The window's restored (normal) geometry, its area inside the frame the window manager adds, and whether it
// was maximised: a maximised window keeps the size it returns to.
struct WindowPlacement
{
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
    bool Maximized = false;
};

// A window opened on a profile (korvel-admin --profile NAME) keeps its place in a section of its own,
// "Main Window: NAME"; without a profile, the "Main Window" section.
WindowPlacement ReadWindowPlacement(const IniFile& ini, const WindowPlacement& current,
                                    const std::string& profile = {});
void WriteWindowPlacement(IniFile& ini, const WindowPlacement& placement, const std::string& profile = {});

ViewSettings ReadViewSettings(const IniFile& ini);
void WriteViewSettings(IniFile& ini, const ViewSettings& settings);

} // namespace korvel::admin
