// Records carried by the administrative requests, shared by the client and the reference server.
#pragma once

#include "engine/wire/Message.h"

#include <cstdint>
#include <string>

namespace korvel
{

// The nine configuration values, in wire order.
struct ServerConfig
{
    bool DenyLogins = false;
    std::uint16_t MaxConnections = 0;
    std::uint16_t ConnectionTimeout = 0;
    std::uint16_t DeadSessionInterval = 0;
    std::uint16_t DeadSessionExpires = 0;
    std::uint16_t MaxDeadSessions = 0;
    std::string TempDirectory;
    StringList AuthorizedAddresses;
    StringList BlockedAddresses;
};

// The configuration values in wire order, as GETCONFIG replies and MODIFYCONFIG asks. Reading appends to the
// address lists.
void ReadConfig(MessageReader& in, ServerConfig& config);
void WriteConfig(const ServerConfig& config, MessageWriter& out);

// One server session as GETSESSIONINFO describes it (after the found flag).
struct SessionInfo
{
    std::int32_t ServerSessionId = 0;
    double CreatedOn = 0;
    double LastConnected = 0;
    std::string UserName;
    std::string UserAddress;
    bool LanSession = false;
    std::string DisconnectedDetail; // from version 3.08 on
};

// Rights of a database user on the wire: bit 0 read ... bit 6 drop.
inline constexpr std::uint8_t RightRead = 0x01;
inline constexpr std::uint8_t RightInsert = 0x02;
inline constexpr std::uint8_t RightUpdate = 0x04;
inline constexpr std::uint8_t RightDelete = 0x08;
inline constexpr std::uint8_t RightCreate = 0x10;
inline constexpr std::uint8_t RightAlter = 0x20;
inline constexpr std::uint8_t RightDrop = 0x40;
inline constexpr std::uint8_t AllRights = 0x7F;

// Versions as 8-byte fixed point (version x 10000).
inline constexpr std::int64_t ClientEngineVersion = 32100;
inline constexpr std::int64_t VersionWithoutValue = 30300;
inline constexpr std::int64_t VersionLockProtocol = 30400;
inline constexpr std::int64_t VersionDisconnectedDetail = 30800;
inline constexpr std::int64_t VersionServerNameAndAddresses = 31100;

} // namespace korvel
