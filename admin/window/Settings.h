// The settings file's sections: the connection settings ("Admin Info"), the window placement ("Main Window",
// and one section for each profile a window was opened on),
// how the user left the pages' views ("Views") and what happens to the trace file ("Trace"); older files lack
// the last two, whose defaults then apply.
#pragma once

#include "admin/common/AdminPage.h"
#include "settings/Connection.h"
#include "settings/IniFile.h"

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

// The "Admin Info" section: where the window's session connects (the settings file keeps no SSH route), and
// whether it traces.
struct AdminInfo
{
    settings::Connection Server{.Address = "127.0.0.1", .Port = settings::DefaultPort};
    bool RemoteTracing = false;

    bool operator==(const AdminInfo&) const = default;
};

// `connection` with its texts cut to MaxSettingBytes, as the settings file keeps them.
settings::Connection CutToSettingBytes(settings::Connection connection);

AdminInfo ReadRemoteSettings(const IniFile& ini);
// Writes the six keys in their order; the caller flushes.
void WriteRemoteSettings(IniFile& ini, const AdminInfo& settings);

// Copies the settings to the session: with `all`, the connection (which an active session refuses), and
// always the tracing flag, which takes effect at once.
void ApplyRemoteSettings(TKORVELSession& session, bool all, const AdminInfo& settings);

struct TraceSettings
{
    bool KeepTraceFile = false; // the trace file outlives the program (deleted at exit by default)
};

TraceSettings ReadTraceSettings(const IniFile& ini);
void WriteTraceSettings(IniFile& ini, const TraceSettings& settings);

// What the Options dialog starts from.
OptionsValues OptionsOf(const AdminInfo& remote, const TraceSettings& trace);

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
