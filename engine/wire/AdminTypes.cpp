#include "engine/wire/AdminTypes.h"

namespace korvel
{

void ReadConfig(MessageReader& in, ServerConfig& config)
{
    in.Read(config.DenyLogins);
    in.Read(config.MaxConnections);
    in.Read(config.ConnectionTimeout);
    in.Read(config.DeadSessionInterval);
    in.Read(config.DeadSessionExpires);
    in.Read(config.MaxDeadSessions);
    in.Read(config.TempDirectory);
    in.ReadStringList(config.AuthorizedAddresses);
    in.ReadStringList(config.BlockedAddresses);
}

void WriteConfig(const ServerConfig& config, MessageWriter& out)
{
    out.AppendBool(config.DenyLogins);
    out.AppendUInt16(config.MaxConnections);
    out.AppendUInt16(config.ConnectionTimeout);
    out.AppendUInt16(config.DeadSessionInterval);
    out.AppendUInt16(config.DeadSessionExpires);
    out.AppendUInt16(config.MaxDeadSessions);
    out.AppendString(config.TempDirectory);
    out.AppendStringList(config.AuthorizedAddresses);
    out.AppendStringList(config.BlockedAddresses);
}

} // namespace korvel
