// The engine error codes that the client raises or that the administration protocol carries.
#pragma once

#include "engine/wire/EngineError.h"

namespace korvel
{

inline constexpr ErrorCode KORVEL_NONE = 0;
inline constexpr ErrorCode KORVEL_NOTINITIALIZED = 10758;
inline constexpr ErrorCode KORVEL_REMOTECOMMLOST = 11276;
inline constexpr ErrorCode KORVEL_REMOTEUNKNOWN = 11279;
inline constexpr ErrorCode KORVEL_REMOTECONNECT = 11280;
inline constexpr ErrorCode KORVEL_REMOTENOLOGIN = 11281;
inline constexpr ErrorCode KORVEL_REMOTEMAXCONNECT = 11282;
inline constexpr ErrorCode KORVEL_REMOTEADDRESSBLOCK = 11283;
inline constexpr ErrorCode KORVEL_REMOTECALLBACK = 11284;
inline constexpr ErrorCode KORVEL_REMOTECALLBACKERR = 11285;
inline constexpr ErrorCode KORVEL_REMOTEVERSION = 11286;
inline constexpr ErrorCode KORVEL_REMOTEINVLOGIN = 11287;
inline constexpr ErrorCode KORVEL_REMOTENOTAUTH = 11288;
inline constexpr ErrorCode KORVEL_REMOTENOTADMIN = 11289;
inline constexpr ErrorCode KORVEL_REMOTEINVUSER = 11290;
inline constexpr ErrorCode KORVEL_REMOTENOUSER = 11291;
inline constexpr ErrorCode KORVEL_REMOTEDUPUSER = 11292;
inline constexpr ErrorCode KORVEL_REMOTEINVDB = 11293;
inline constexpr ErrorCode KORVEL_REMOTENODB = 11294;
inline constexpr ErrorCode KORVEL_REMOTEDUPDB = 11295;
inline constexpr ErrorCode KORVEL_REMOTEINVDBUSER = 11296;
inline constexpr ErrorCode KORVEL_REMOTENODBUSER = 11297;
inline constexpr ErrorCode KORVEL_REMOTEDUPDBUSER = 11298;
inline constexpr ErrorCode KORVEL_REMOTEINVREQUEST = 11299;
inline constexpr ErrorCode KORVEL_COMPRESS = 15001;
inline constexpr ErrorCode KORVEL_UNCOMPRESS = 15002;

} // namespace korvel
