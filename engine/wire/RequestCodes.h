// Request codes of the remote protocol and their trace names.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvel
{

using RequestCode = std::uint16_t;

inline constexpr RequestCode REQUEST_RECONNECT = 0;
inline constexpr RequestCode REQUEST_LOGIN = 1;
inline constexpr RequestCode REQUEST_LOGOUT = 2;
inline constexpr RequestCode REQUEST_SESSIONPARAMS = 3;
inline constexpr RequestCode REQUEST_GETDBNAMES = 10;
inline constexpr RequestCode REQUEST_CONNECTPARAMS = 82;
inline constexpr RequestCode REQUEST_GETUSERNAMES = 87;
inline constexpr RequestCode REQUEST_ADDUSER = 88;
inline constexpr RequestCode REQUEST_MODIFYUSER = 89;
inline constexpr RequestCode REQUEST_DELETEUSER = 90;
inline constexpr RequestCode REQUEST_GETUSER = 91;
inline constexpr RequestCode REQUEST_ADDDB = 92;
inline constexpr RequestCode REQUEST_MODIFYDB = 93;
inline constexpr RequestCode REQUEST_DELETEDB = 94;
inline constexpr RequestCode REQUEST_GETDB = 95;
inline constexpr RequestCode REQUEST_GETDBUSERNAMES = 96;
inline constexpr RequestCode REQUEST_ADDDBUSER = 97;
inline constexpr RequestCode REQUEST_MODIFYDBUSER = 98;
inline constexpr RequestCode REQUEST_DELETEDBUSER = 99;
inline constexpr RequestCode REQUEST_GETDBUSER = 100;
inline constexpr RequestCode REQUEST_MODIFYCONFIG = 101;
inline constexpr RequestCode REQUEST_GETCONFIG = 102;
inline constexpr RequestCode REQUEST_GETLOG = 103;
inline constexpr RequestCode REQUEST_STARTSERVER = 104;
inline constexpr RequestCode REQUEST_STOPSERVER = 105;
inline constexpr RequestCode REQUEST_GETUPTIME = 106;
inline constexpr RequestCode REQUEST_GETMEMORYUSAGE = 107;
inline constexpr RequestCode REQUEST_GETMAINPORT = 108;
inline constexpr RequestCode REQUEST_GETADMINPORT = 109;
inline constexpr RequestCode REQUEST_GETSESSIONS = 110;
inline constexpr RequestCode REQUEST_GETCONNECTEDSESSIONS = 111;
inline constexpr RequestCode REQUEST_GETSESSIONINFO = 112;
inline constexpr RequestCode REQUEST_DISCONNECTSESSION = 113;
inline constexpr RequestCode REQUEST_REMOVESESSION = 114;
inline constexpr RequestCode REQUEST_GETMAINADDRESS = 125;
inline constexpr RequestCode REQUEST_GETADMINADDRESS = 126;
inline constexpr RequestCode REQUEST_GETSERVERNAME = 127;

// The REQUEST_* name of a code (0 to 138); empty for 117 to 119 and for every code above 138.
std::string_view RequestCodeName(RequestCode code);

} // namespace korvel
