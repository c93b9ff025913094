// The administration methods: each holds the session lock, cuts string arguments to the protocol's 255 bytes,
// converts rights and flags, and calls one operation of the remote session.
#include "session/KORVELSession.h"

#include "engine/wire/EngineError.h"
#include "engine/wire/Utf8.h"
#include "session/ScopeExit.h"
#include "session/SessionErrors.h"

namespace korvel
{

namespace
{

std::string Cut(const std::string& text)
{
    return std::string(CutUtf8(text));
}

} // namespace

template <typename Operation> auto TKORVELSession::Locked(Operation&& operation)
{
    LockSession();
    ScopeExit unlock([this] { UnlockSession(); });
    // Held but inactive: the session was closed while locked, or an OnStartup handler calls it.
    TDataSession* dataSession = dataSession_;
    if (!dataSession)
        throw EDatabaseError(std::string(SessionError::InactiveSession));
    // Copied while the lock is still held, so RemoteSessionLost and LastInterruption need no lock.
    ScopeExit record(
        [this, dataSession]
        {
            remoteSessionLost_ = dataSession->ReconnectRefused();
            lastInterruption_ = dataSession->LastInterruption();
        });
    return operation(*dataSession);
}

// --- Users ------------------------------------------------------------------------------------------------

void TKORVELSession::GetServerUserNames(StringList& list)
{
    list.clear();
    Locked([&](TDataSession& ds) { ds.GetUserNames(list); });
}

void TKORVELSession::GetServerUser(const std::string& userName, std::string& password,
                                   std::string& description, bool& administrator)
{
    password.clear();
    description.clear();
    Locked([&](TDataSession& ds) { ds.GetUser(Cut(userName), password, description, administrator); });
}

void TKORVELSession::AddServerUser(const std::string& userName, const std::string& password,
                                   const std::string& description, bool administrator)
{
    Locked([&](TDataSession& ds)
           { ds.AddUser(Cut(userName), Cut(password), Cut(description), administrator); });
}

void TKORVELSession::ModifyServerUser(const std::string& userName, const std::string& password,
                                      const std::string& description, bool administrator)
{
    Locked([&](TDataSession& ds)
           { ds.ModifyUser(Cut(userName), Cut(password), Cut(description), administrator); });
}

void TKORVELSession::DeleteServerUser(const std::string& userName)
{
    Locked([&](TDataSession& ds) { ds.DeleteUser(Cut(userName)); });
}

// --- Databases --------------------------------------------------------------------------------------------

void TKORVELSession::GetServerDatabaseNames(StringList& list)
{
    list.clear();
    Locked([&](TDataSession& ds) { ds.GetDatabaseNames(list); });
}

void TKORVELSession::GetServerDatabase(const std::string& databaseName, std::string& description,
                                       std::string& directory)
{
    description.clear();
    directory.clear();
    Locked([&](TDataSession& ds) { ds.GetDatabase(Cut(databaseName), description, directory); });
}

void TKORVELSession::AddServerDatabase(const std::string& databaseName, const std::string& description,
                                       const std::string& directory)
{
    Locked([&](TDataSession& ds) { ds.AddDatabase(Cut(databaseName), Cut(description), Cut(directory)); });
}

void TKORVELSession::ModifyServerDatabase(const std::string& databaseName, const std::string& description,
                                          const std::string& directory)
{
    Locked([&](TDataSession& ds) { ds.ModifyDatabase(Cut(databaseName), Cut(description), Cut(directory)); });
}

void TKORVELSession::DeleteServerDatabase(const std::string& databaseName)
{
    Locked([&](TDataSession& ds) { ds.DeleteDatabase(Cut(databaseName)); });
}

// --- Database users ---------------------------------------------------------------------------------------

void TKORVELSession::GetServerDatabaseUserNames(const std::string& databaseName, StringList& list)
{
    list.clear();
    Locked([&](TDataSession& ds) { ds.GetDatabaseUserNames(Cut(databaseName), list); });
}

void TKORVELSession::GetServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                                           TUserRights& rights)
{
    std::uint8_t byte = 0;
    Locked([&](TDataSession& ds) { ds.GetDatabaseUser(Cut(databaseName), Cut(userName), byte); });
    rights = TUserRights::FromByte(byte);
}

void TKORVELSession::AddServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                                           TUserRights rights)
{
    Locked([&](TDataSession& ds) { ds.AddDatabaseUser(Cut(databaseName), Cut(userName), rights.ToByte()); });
}

void TKORVELSession::ModifyServerDatabaseUser(const std::string& databaseName, const std::string& userName,
                                              TUserRights rights)
{
    Locked([&](TDataSession& ds)
           { ds.ModifyDatabaseUser(Cut(databaseName), Cut(userName), rights.ToByte()); });
}

void TKORVELSession::DeleteServerDatabaseUser(const std::string& databaseName, const std::string& userName)
{
    Locked([&](TDataSession& ds) { ds.DeleteDatabaseUser(Cut(databaseName), Cut(userName)); });
}

// --- Configuration, log and control -----------------------------------------------------------------------

void TKORVELSession::GetServerConfig(ServerConfig& config)
{
    // The string and the lists are emptied first, even when the server refuses or the session is local.
    config.TempDirectory.clear();
    config.AuthorizedAddresses.clear();
    config.BlockedAddresses.clear();
    Locked([&](TDataSession& ds) { ds.GetConfig(config); });
}

void TKORVELSession::ModifyServerConfig(const ServerConfig& config)
{
    ServerConfig sent = config;
    sent.TempDirectory = Cut(config.TempDirectory);
    for (std::string& address : sent.AuthorizedAddresses)
        address = Cut(address);
    for (std::string& address : sent.BlockedAddresses)
        address = Cut(address);
    Locked([&](TDataSession& ds) { ds.ModifyConfig(sent); });
}

void TKORVELSession::GetServerLog(StringList& lines)
{
    lines.clear();
    Locked([&](TDataSession& ds) { ds.GetLog(lines); });
}

void TKORVELSession::GetServerLogText(LogText& log)
{
    log.Clear();
    Locked([&](TDataSession& ds) { ds.GetLogText(log); });
}

void TKORVELSession::StartServer()
{
    Locked([](TDataSession& ds) { ds.StartServer(); });
}

void TKORVELSession::StopServer()
{
    Locked([](TDataSession& ds) { ds.StopServer(); });
}

// --- Status -----------------------------------------------------------------------------------------------

void TKORVELSession::GetServerEngineVersion(std::string& version)
{
    // No request: the version the server stated when the connection was made.
    version = Locked([](TDataSession& ds) { return ds.ServerVersionText(); });
}

std::int32_t TKORVELSession::GetServerUpTime()
{
    return Locked([](TDataSession& ds) { return ds.GetUpTime(); });
}

double TKORVELSession::GetServerMemoryUsage()
{
    return Locked([](TDataSession& ds) { return ds.GetMemoryUsage(); });
}

void TKORVELSession::GetServerName(std::string& name)
{
    name = Locked([](TDataSession& ds) { return ds.GetServerName(); });
}

void TKORVELSession::GetServerMainAddress(std::string& address)
{
    address = Locked([](TDataSession& ds) { return ds.GetMainAddress(); });
}

std::int32_t TKORVELSession::GetServerMainPort()
{
    return Locked([](TDataSession& ds) { return ds.GetMainPort(); });
}

void TKORVELSession::GetServerAdminAddress(std::string& address)
{
    address = Locked([](TDataSession& ds) { return ds.GetAdminAddress(); });
}

std::int32_t TKORVELSession::GetServerAdminPort()
{
    return Locked([](TDataSession& ds) { return ds.GetAdminPort(); });
}

std::int32_t TKORVELSession::GetServerSessionCount()
{
    return Locked([](TDataSession& ds) { return ds.GetSessionCount(); });
}

std::int32_t TKORVELSession::GetServerConnectedSessionCount()
{
    return Locked([](TDataSession& ds) { return ds.GetConnectedSessionCount(); });
}

// --- Server sessions --------------------------------------------------------------------------------------

bool TKORVELSession::GetServerSessionInfo(std::int32_t sessionNumber, std::int32_t& serverSessionId,
                                          double& createdOn, double& lastConnected, std::string& userName,
                                          std::string& userAddress, bool& internet,
                                          std::string& disconnectedDetail)
{
    SessionInfo info;
    info.ServerSessionId = serverSessionId;
    info.CreatedOn = createdOn;
    info.LastConnected = lastConnected;
    bool found = Locked([&](TDataSession& ds) { return ds.GetSessionInfo(sessionNumber, info); });
    if (!found)
        return false;
    serverSessionId = info.ServerSessionId;
    createdOn = info.CreatedOn;
    lastConnected = info.LastConnected;
    userName = info.UserName;
    userAddress = info.UserAddress;
    internet = !info.LanSession;
    disconnectedDetail = info.DisconnectedDetail;
    return true;
}

bool TKORVELSession::DisconnectServerSession(std::int32_t serverSessionId)
{
    return Locked([&](TDataSession& ds) { return ds.DisconnectSession(serverSessionId); });
}

bool TKORVELSession::RemoveServerSession(std::int32_t serverSessionId)
{
    return Locked([&](TDataSession& ds) { return ds.RemoveSession(serverSessionId); });
}

} // namespace korvel
