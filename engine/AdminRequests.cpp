// The administrative requests of TDataSession. Each one: nothing at all when the session is not remote, else
// EnsureConnected, the request code and its arguments, FinishRequest, Call, CheckReply and the results in
// order. A refusal by the server never causes a re-connection; only a failed exchange does.
#include "engine/DataSession.h"

#include "engine/wire/RequestCodes.h"

namespace korvel
{

void TDataSession::StartAdminRequest(std::uint16_t code)
{
    EnsureConnected();
    SetRequestCode(code);
    BeginRequest();
}

void TDataSession::Exchange()
{
    FinishRequest();
    Call();
    CheckReply();
}

// --- Users ---

void TDataSession::GetUserNames(StringList& names)
{
    names.clear();
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETUSERNAMES);
    Exchange();
    reply_.ReadStringList(names);
}

void TDataSession::GetUser(const std::string& userName, std::string& password, std::string& description,
                           bool& administrator)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETUSER);
    request_.AppendString(userName);
    Exchange();
    reply_.Read(password);
    reply_.Read(description);
    reply_.Read(administrator);
}

void TDataSession::AddUser(const std::string& userName, const std::string& password,
                           const std::string& description, bool administrator)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_ADDUSER);
    request_.AppendString(userName);
    request_.AppendString(password);
    request_.AppendString(description);
    request_.AppendBool(administrator);
    Exchange();
}

void TDataSession::ModifyUser(const std::string& userName, const std::string& password,
                              const std::string& description, bool administrator)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_MODIFYUSER);
    request_.AppendString(userName);
    request_.AppendString(password);
    request_.AppendString(description);
    request_.AppendBool(administrator);
    Exchange();
}

void TDataSession::DeleteUser(const std::string& userName)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_DELETEUSER);
    request_.AppendString(userName);
    Exchange();
}

// --- Databases and database users ---

void TDataSession::GetDatabaseNames(StringList& names)
{
    names.clear();
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETDBNAMES);
    Exchange();
    reply_.ReadStringList(names);
}

void TDataSession::GetDatabase(const std::string& databaseName, std::string& description,
                               std::string& directory)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETDB);
    request_.AppendString(databaseName);
    Exchange();
    reply_.Read(description);
    reply_.Read(directory);
}

void TDataSession::AddDatabase(const std::string& databaseName, const std::string& description,
                               const std::string& directory)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_ADDDB);
    request_.AppendString(databaseName);
    request_.AppendString(description);
    request_.AppendString(directory);
    Exchange();
}

void TDataSession::ModifyDatabase(const std::string& databaseName, const std::string& description,
                                  const std::string& directory)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_MODIFYDB);
    request_.AppendString(databaseName);
    request_.AppendString(description);
    request_.AppendString(directory);
    Exchange();
}

void TDataSession::DeleteDatabase(const std::string& databaseName)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_DELETEDB);
    request_.AppendString(databaseName);
    Exchange();
}

void TDataSession::GetDatabaseUserNames(const std::string& databaseName, StringList& names)
{
    names.clear();
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETDBUSERNAMES);
    request_.AppendString(databaseName);
    Exchange();
    reply_.ReadStringList(names);
}

void TDataSession::GetDatabaseUser(const std::string& databaseName, const std::string& userName,
                                   std::uint8_t& rights)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETDBUSER);
    request_.AppendString(databaseName);
    request_.AppendString(userName);
    Exchange();
    reply_.Read(rights);
}

void TDataSession::AddDatabaseUser(const std::string& databaseName, const std::string& userName,
                                   std::uint8_t rights)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_ADDDBUSER);
    request_.AppendString(databaseName);
    request_.AppendString(userName);
    request_.AppendByte(rights);
    Exchange();
}

void TDataSession::ModifyDatabaseUser(const std::string& databaseName, const std::string& userName,
                                      std::uint8_t rights)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_MODIFYDBUSER);
    request_.AppendString(databaseName);
    request_.AppendString(userName);
    request_.AppendByte(rights);
    Exchange();
}

void TDataSession::DeleteDatabaseUser(const std::string& databaseName, const std::string& userName)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_DELETEDBUSER);
    request_.AppendString(databaseName);
    request_.AppendString(userName);
    Exchange();
}

// --- Configuration and log ---

void TDataSession::GetConfig(ServerConfig& config)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETCONFIG);
    Exchange();
    ReadConfig(reply_, config);
}

void TDataSession::ModifyConfig(const ServerConfig& config)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_MODIFYCONFIG);
    WriteConfig(config, request_);
    Exchange();
}

void TDataSession::GetLog(StringList& lines)
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETLOG);
    Exchange();
    SplitLines(reply_.ReadTextView(), lines);
}

void TDataSession::GetLogText(LogText& log)
{
    if (!remote_)
    {
        log.Clear();
        return;
    }
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETLOG);
    Exchange();
    const std::string_view text = reply_.ReadTextBlockView(); // a zero byte in the log hides nothing
    const auto offset =
        static_cast<std::size_t>(reinterpret_cast<const std::uint8_t*>(text.data()) - replyBuffer_.Data());
    log.Adopt(replyBuffer_, offset, text.size());
    reply_ = MessageReader(); // it read the block just given away
}

// --- Server control and status ---

void TDataSession::StartServer()
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_STARTSERVER);
    Exchange();
}

void TDataSession::StopServer()
{
    if (!remote_)
        return;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_STOPSERVER);
    Exchange();
}

std::int32_t TDataSession::Int32Request(std::uint16_t code)
{
    if (!remote_)
        return 0;
    const CallScope call(*this);
    StartAdminRequest(code);
    Exchange();
    std::int32_t value = 0;
    reply_.Read(value);
    return value;
}

std::string TDataSession::VersionGatedString(std::uint16_t code)
{
    std::string value;
    if (!remote_ || serverVersion_ < VersionServerNameAndAddresses)
        return value; // older servers are not asked
    const CallScope call(*this);
    StartAdminRequest(code);
    Exchange();
    reply_.Read(value);
    return value;
}

std::int32_t TDataSession::GetUpTime()
{
    return Int32Request(REQUEST_GETUPTIME);
}

double TDataSession::GetMemoryUsage()
{
    if (!remote_)
        return 0.0;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETMEMORYUSAGE);
    Exchange();
    double megabytes = 0.0;
    reply_.Read(megabytes);
    return megabytes;
}

std::string TDataSession::GetServerName()
{
    return VersionGatedString(REQUEST_GETSERVERNAME);
}

std::string TDataSession::GetMainAddress()
{
    return VersionGatedString(REQUEST_GETMAINADDRESS);
}

std::int32_t TDataSession::GetMainPort()
{
    return Int32Request(REQUEST_GETMAINPORT);
}

std::string TDataSession::GetAdminAddress()
{
    return VersionGatedString(REQUEST_GETADMINADDRESS);
}

std::int32_t TDataSession::GetAdminPort()
{
    return Int32Request(REQUEST_GETADMINPORT);
}

std::int32_t TDataSession::GetSessionCount()
{
    return Int32Request(REQUEST_GETSESSIONS);
}

std::int32_t TDataSession::GetConnectedSessionCount()
{
    return Int32Request(REQUEST_GETCONNECTEDSESSIONS);
}

// --- Server sessions ---

bool TDataSession::GetSessionInfo(std::int32_t sessionNumber, SessionInfo& info)
{
    if (!remote_)
        return false;
    const CallScope call(*this);
    StartAdminRequest(REQUEST_GETSESSIONINFO);
    request_.AppendInt32(sessionNumber);
    Exchange();
    bool found = false;
    reply_.Read(found);
    if (!found)
        return false;
    reply_.Read(info.ServerSessionId);
    reply_.Read(info.CreatedOn);
    reply_.Read(info.LastConnected);
    reply_.Read(info.UserName);
    reply_.Read(info.UserAddress);
    reply_.Read(info.LanSession);
    if (serverVersion_ >= VersionDisconnectedDetail)
        reply_.Read(info.DisconnectedDetail);
    return true;
}

bool TDataSession::DisconnectSession(std::int32_t serverSessionId)
{
    return SessionCommand(REQUEST_DISCONNECTSESSION, serverSessionId);
}

bool TDataSession::RemoveSession(std::int32_t serverSessionId)
{
    return SessionCommand(REQUEST_REMOVESESSION, serverSessionId);
}

bool TDataSession::SessionCommand(std::uint16_t code, std::int32_t serverSessionId)
{
    if (!remote_)
        return false;
    const CallScope call(*this);
    StartAdminRequest(code);
    request_.AppendInt32(serverSessionId);
    Exchange();
    bool done = false;
    reply_.Read(done);
    return done;
}

} // namespace korvel
