#include "session/ConnectionTest.h"

namespace korvel
{

ConnectionTestAnswer TestConnection(const ConnectionDescription& connection, const std::string& user,
                                    const std::string& password, const CallLimits& limits,
                                    ConnectionTestAsks asks)
{
    TDataSession session;
    session.SetCallLimits(limits);
    session.SetRemote(true);
    session.SetConnection(connection, std::move(asks.Ssh));
    session.SetUserName(user);
    session.SetPassword(password);
    session.SetCredentialProvider(std::move(asks.Login));
    session.Connect();
    session.Login();
    ConnectionTestAnswer answer{session.GetServerName(), session.UserName()};
    session.Logout();
    return answer;
}

} // namespace korvel
