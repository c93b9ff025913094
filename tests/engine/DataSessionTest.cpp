// Framing, connection, re-connection and tracing of TDataSession against a scripted peer.
#include "CaptureError.h"
#include "FakeNetwork.h"
#include "SessionFixture.h"
#include "testing/LoopbackSocket.h"

#include "engine/LogText.h"
#include "engine/wire/AdminTypes.h"
#include "engine/wire/ErrorCodes.h"
#include "engine/wire/RequestCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <unistd.h>

namespace korvel
{
namespace
{

using test::Bytes;
using test::CaptureEngineError;
using test::EngineErrorCode;
using test::PeerConnection;
using test::ScriptedPeer;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class DataSessionTest : public test::SessionFixture
{
protected:
    // Sends an argument-less GETUPTIME and reads its reply without the re-connection of Call.
    ErrorCode ReplyFaultCode(ScriptedPeer::Step step)
    {
        session.EnsureConnected();
        peer.Then(std::move(step));
        session.SetRequestCode(REQUEST_GETUPTIME);
        session.BeginRequest();
        session.FinishRequest();
        session.SendRequest();
        return EngineErrorCode([&] { session.ReceiveReply(); });
    }

    void UseResolver(TDataSession& target, std::shared_ptr<test::MapResolver> resolver)
    {
        target.SetTransportFactory([resolver] { return CreateTcpTransport(resolver); });
    }
};

std::string LocalIdentity()
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return std::string(host).substr(0, 15) + std::to_string(getpid());
}

TEST_F(DataSessionTest, NewSessionHasTheDocumentedDefaults)
{
    EXPECT_FALSE(session.Remote());
    EXPECT_TRUE(session.Uncompressed());
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(session.Address(), "127.0.0.1");
    EXPECT_EQ(session.Port(), 12005);
    EXPECT_EQ(session.ProgressSteps(), 20);
    EXPECT_EQ(session.LockRetryCount(), 15);
    EXPECT_EQ(session.LockWaitTime(), 100);
    EXPECT_EQ(session.LockProtocol(), 0);
    EXPECT_FALSE(session.ForceBufferFlush());
    EXPECT_FALSE(session.StrictChangeDetection());
    EXPECT_EQ(session.RemoteName(), "127.0.0.1");
}

TEST_F(DataSessionTest, ConnectIntroducesTheClientAndReadsSessionIdAndVersion)
{
    PointAtPeer(session);
    session.Connect();
    EXPECT_TRUE(session.Connected());
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_EQ(session.SessionId(), 4242);
    EXPECT_EQ(session.ServerVersion(), 31100);
    EXPECT_EQ(session.ServerVersionText(), "3.11");

    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Code(), REQUEST_CONNECTPARAMS);
    const Bytes payload = requests[0].Payload();
    const Bytes prefix{0x08, 0, 0, 0, 0x64, 0x7d, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0x01};
    ASSERT_GT(payload.size(), prefix.size());
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 17), prefix);
    MessageReader reader = requests[0].Reader();
    std::int64_t version = 0;
    bool uncompressed = false;
    std::string identity;
    reader.Read(version);
    reader.Read(uncompressed);
    reader.Read(identity);
    EXPECT_EQ(identity, LocalIdentity());

    // Setters of Remote and Uncompressed are ignored while connected.
    session.SetUncompressed(false);
    session.SetRemote(false);
    EXPECT_TRUE(session.Uncompressed());
    EXPECT_TRUE(session.Remote());

    peer.SetServerVersion(std::nullopt);
    TDataSession old;
    PointAtPeer(old);
    old.Connect();
    EXPECT_EQ(old.ServerVersion(), 30300);
    EXPECT_EQ(old.ServerVersionText(), "3.03");
}

TEST_F(DataSessionTest, AHostThatNeverAnswersTheConnectFailsAfterTheConnectTimeOut)
{
    EXPECT_EQ(session.ConnectTimeoutMs(), TDataSession::DefaultConnectTimeoutMs);
    test::UnansweredListener blackhole;
    TDataSession target;
    target.SetRemote(true);
    target.SetPort(blackhole.Port());
    target.SetConnectTimeoutMs(100);
    auto attempt =
        std::async(std::launch::async, [&] { return CaptureEngineError([&] { target.Connect(); }); });
    // The system's own limit is minutes of retries; far less means the time-out ended the wait. Should it
    // not, closing the listener ends the connect so that the test fails rather than hangs.
    if (attempt.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
    {
        blackhole.Close();
        attempt.wait();
        FAIL() << "the connect did not give up";
    }
    auto failure = attempt.get();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_FALSE(target.Connected());

    // The connection opened without waiting behaves as before: blocking reads and writes with their time-out.
    PointAtPeer(target);
    target.Connect();
    EXPECT_TRUE(target.Connected());
    peer.Then(
        ScriptedPeer::AnswerAfter(std::chrono::milliseconds(50), [](MessageWriter& w) { w.AppendInt32(9); }));
    EXPECT_EQ(target.GetUpTime(), 9);
}

TEST_F(DataSessionTest, EveryConnectFailureIsRemoteConnect)
{
    PointAtPeer(session);
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEMAXCONNECT));
    auto refused = CaptureEngineError([&] { session.Connect(); });
    EXPECT_EQ(refused->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_STREQ(refused->what(),
                 "KORVEL Engine Error # 11280 A connection to the database server at '127.0.0.1' cannot be "
                 "established");
    EXPECT_FALSE(session.Connected());

    peer.Then(ScriptedPeer::CloseAfterBytes(3));
    EXPECT_EQ(EngineErrorCode([&] { session.Connect(); }), KORVEL_REMOTECONNECT);

    auto resolver = std::make_shared<test::MapResolver>();
    UseResolver(session, resolver);
    session.SetHostName("nowhere");
    auto unresolved = CaptureEngineError([&] { session.Connect(); });
    EXPECT_EQ(unresolved->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_EQ(unresolved->ErrorRemoteName, "nowhere"); // the host name wins over the address

    TDataSession noAddress;
    noAddress.SetAddress("");
    EXPECT_EQ(EngineErrorCode([&] { noAddress.Connect(); }), KORVEL_REMOTECONNECT);
    EXPECT_EQ(noAddress.RemoteName(), "");
}

TEST_F(DataSessionTest, TraceLinesDescribeConnectionsAndExchanges)
{
    PointAtPeer(session);
    TraceInto(session);
    session.Connect();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_THAT(trace[0], MatchesRegex("Connection to port " + std::to_string(peer.Port()) +
                                       " at host 127\\.0\\.0\\.1 completed in [0-9]+ msecs"));
    EXPECT_THAT(trace[1],
                MatchesRegex("Send request - Code: REQUEST_CONNECTPARAMS Size: [0-9]+ Total Time: [0-9]+ "
                             "msecs"));
    EXPECT_THAT(trace[2],
                MatchesRegex("Receive reply - Code: KORVEL_NONE Size: 30 Total Time: [0-9]+ msecs"));

    // Unknown codes have empty names.
    trace.clear();
    peer.Then(ScriptedPeer::Answer(12345));
    session.SetRequestCode(118);
    session.BeginRequest();
    session.FinishRequest();
    session.Call();
    EXPECT_THAT(trace, ElementsAre(MatchesRegex("Send request - Code:  Size: 10 Total Time: [0-9]+ msecs"),
                                   MatchesRegex("Receive reply - Code:  Size: 10 Total Time: [0-9]+ msecs")));

    // A service name replaces the port, a host name the address; long lines are cut to 255 characters.
    auto resolver = std::make_shared<test::MapResolver>();
    const std::string longService(240, 's');
    resolver->Services = {{"korvel-admin", peer.Port()}, {longService, peer.Port()}};
    TDataSession named;
    PointAtPeer(named);
    UseResolver(named, resolver);
    named.SetHostName("dbhost");
    named.SetServiceName("korvel-admin");
    TraceInto(named);
    trace.clear();
    named.Connect();
    EXPECT_THAT(trace.at(0),
                MatchesRegex("Connection to service korvel-admin at host dbhost completed in [0-9]+ "
                             "msecs"));
    named.Disconnect();
    named.SetServiceName(longService);
    trace.clear();
    named.Reconnect();
    EXPECT_EQ(trace.at(0).size(), 255u);
    EXPECT_EQ(trace.at(0),
              ("Re-connection to service " + longService + " at host dbhost completed").substr(0, 255));

    // No lines without the trace flag; a failing sink does not disturb the exchange.
    named.SetTrace(false);
    trace.clear();
    named.StartServer();
    EXPECT_TRUE(trace.empty());
    named.SetTrace(true);
    named.SetTraceSink([](const std::string&) { throw std::runtime_error("sink broken"); });
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(9); }));
    EXPECT_EQ(named.GetUpTime(), 9);
}

TEST_F(DataSessionTest, InternetModeCompressesEverythingButTheHandshake)
{
    session.SetUncompressed(false);
    TraceInto(session);
    LogIn(session);
    trace.clear();
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(3600); }));
    EXPECT_EQ(session.GetUpTime(), 3600);

    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Wire, requests[0].Message); // CONNECTPARAMS travels plain
    MessageReader handshake = requests[0].Reader();
    std::int64_t version = 0;
    bool uncompressed = true;
    handshake.Read(version);
    handshake.Read(uncompressed);
    EXPECT_FALSE(uncompressed);                       // and announces compression
    EXPECT_NE(requests[1].Wire, requests[1].Message); // LOGIN is compressed
    MessageReader login = requests[1].Reader();
    std::string user, password;
    login.Read(user);
    login.Read(password);
    EXPECT_EQ(user, "admin");
    EXPECT_EQ(password, "secret");
    EXPECT_GT(requests[2].Wire.size(), 10u); // an empty payload still carries a zlib stream
    EXPECT_EQ(requests[2].Header.TotalSize, 10);
    EXPECT_THAT(
        trace,
        ElementsAre(MatchesRegex("Send request - Code: REQUEST_GETUPTIME Size: " +
                                 std::to_string(requests[2].Wire.size()) + " Total Time: [0-9]+ msecs"),
                    MatchesRegex("Receive reply - Code: KORVEL_NONE Size: 18 Total Time: [0-9]+ "
                                 "msecs")));
}

TEST_F(DataSessionTest, TraceRecordsTimeEachReplyFromItsRequestWithWireAndPlainSizes)
{
    session.SetUncompressed(false);
    std::vector<TraceRecord> records;
    session.SetTraceRecordSink([&](const TraceRecord& record) { records.push_back(record); });
    TraceInto(session);
    LogIn(session);
    ASSERT_EQ(records.size(), trace.size()) << "one record beside each trace line";
    EXPECT_EQ(records[0].Direction, TraceRecord::Kind::Connection);

    records.clear();
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "2024-01-01 00:00:00 the same words again " + std::to_string(i % 10) + "\r\n";
    peer.Then(ScriptedPeer::AnswerAfter(std::chrono::milliseconds(300),
                                        [&](MessageWriter& w) { w.AppendText(text); }));
    const auto before = std::chrono::system_clock::now();
    LogText log;
    session.GetLogText(log);
    EXPECT_EQ(log.Text(), text);
    EXPECT_EQ(log.LineCount(), 2000u);

    ASSERT_EQ(records.size(), 2u);
    const TraceRecord& request = records[0];
    const TraceRecord& reply = records[1];
    const auto requests = RequestsAfterLogin();
    EXPECT_EQ(request.Direction, TraceRecord::Kind::Request);
    EXPECT_EQ(request.Code, REQUEST_GETLOG);
    EXPECT_EQ(request.WireBytes, static_cast<std::int64_t>(requests.back().Wire.size()));
    EXPECT_EQ(request.PlainBytes, 10);
    EXPECT_GE(request.Time, before);
    EXPECT_EQ(reply.Direction, TraceRecord::Kind::Reply);
    EXPECT_EQ(reply.Code, REQUEST_GETLOG) << "a reply names the request it answers";
    EXPECT_EQ(reply.ReplyCode, KORVEL_NONE);
    EXPECT_GE(reply.ElapsedMs, 300u);
    EXPECT_LT(reply.ElapsedMs, 5000u);
    EXPECT_GT(reply.PlainBytes, static_cast<std::int64_t>(text.size()));
    EXPECT_LT(reply.WireBytes * 5, reply.PlainBytes) << "repetitive text travels compressed";
    EXPECT_GE(reply.Time - request.Time, std::chrono::milliseconds(300));
}

TEST_F(DataSessionTest, RequestsAreWrittenInPiecesOf64KiB)
{
    auto writes = std::make_shared<std::vector<std::int32_t>>();
    session.SetTransportFactory(
        [writes] { return std::make_unique<test::RecordingTransport>(writes, SystemResolver()); });
    LogIn(session);
    const Bytes filler(70000, 'x');
    for (const std::int32_t total : {65536, 65537})
    {
        writes->clear();
        session.SetRequestCode(200);
        session.BeginRequest();
        session.Request().AppendValue(filler.data(), total - HeaderSize - 4);
        session.FinishRequest();
        session.Call();
        if (total == 65536)
            EXPECT_THAT(*writes, ElementsAre(65536));
        else
            EXPECT_THAT(*writes, ElementsAre(65536, 1));
    }
    ASSERT_TRUE(peer.WaitForRequests(4));
    EXPECT_EQ(peer.Requests()[3].Wire.size(), 65537u);
}

TEST_F(DataSessionTest, ABrokenExchangeReconnectsOnceAndResendsTheSameBytes)
{
    TraceInto(session);
    LogIn(session);
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(peer.Automatic());
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(77); }));
    trace.clear();
    EXPECT_EQ(session.GetUpTime(), 77);

    const auto after = RequestsAfterLogin();
    ASSERT_EQ(after.size(), 2u); // the cut request was not recorded
    EXPECT_EQ(after[0].Code(), REQUEST_RECONNECT);
    EXPECT_EQ(after[0].Connection, 2);
    EXPECT_EQ(after[0].Payload(),
              (Bytes{8, 0, 0, 0, 0x64, 0x7d, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x92, 0x10, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(after[1].Wire, (Bytes{0x0a, 0, 0, 0, REQUEST_GETUPTIME, 0, 0, 0, 0, 0}));
    EXPECT_THAT(trace,
                ElementsAre(MatchesRegex("Send request - Code: REQUEST_GETUPTIME Size: 10 .*"),
                            MatchesRegex("Re-connection to port [0-9]+ at host 127\\.0\\.0\\.1 completed in "
                                         "[0-9]+ msecs"),
                            MatchesRegex("Send request - Code: REQUEST_RECONNECT Size: 35 .*"),
                            MatchesRegex("Receive reply - Code: KORVEL_NONE Size: 10 .*"),
                            MatchesRegex("Send request - Code: REQUEST_GETUPTIME Size: 10 .*"),
                            MatchesRegex("Receive reply - Code: KORVEL_NONE Size: 18 .*")));
    EXPECT_TRUE(session.LoggedIn());

    // A second failure reaches the caller; the next request re-connects first, without a new LOGIN.
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(peer.Automatic());
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    auto lost = CaptureEngineError([&] { session.GetUpTime(); });
    EXPECT_EQ(lost->ErrorCode, KORVEL_REMOTECOMMLOST);
    EXPECT_EQ(lost->ErrorRemoteName, "127.0.0.1");
    EXPECT_FALSE(session.Connected());
    EXPECT_TRUE(session.LoggedIn());
    session.StartServer();
    EXPECT_THAT(peer.RequestCodes(),
                ElementsAre(REQUEST_CONNECTPARAMS, REQUEST_LOGIN, REQUEST_RECONNECT, REQUEST_GETUPTIME,
                            REQUEST_RECONNECT, REQUEST_RECONNECT, REQUEST_STARTSERVER));
}

TEST_F(DataSessionTest, AFailedReconnectionReachesTheCaller)
{
    LogIn(session);
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENOLOGIN));
    EXPECT_EQ(EngineErrorCode([&] { session.GetUpTime(); }), KORVEL_REMOTECONNECT);
    EXPECT_FALSE(session.Connected());
}

TEST_F(DataSessionTest, AReconnectTheServerRefusesIsToldApartFromAnUnreachableServer)
{
    LogIn(session);
    EXPECT_FALSE(session.ReconnectRefused());

    // The server answers the RECONNECT inside Call with an error: it no longer knows the session.
    peer.Then(ScriptedPeer::CloseAfterBytes(5));
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTECONNECT));
    auto refused = CaptureEngineError([&] { session.GetUpTime(); });
    EXPECT_EQ(refused->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_STREQ(refused->what(),
                 "KORVEL Engine Error # 11280 A connection to the database server at '127.0.0.1' cannot be "
                 "established");
    EXPECT_TRUE(session.ReconnectRefused());

    // A RECONNECT the server accepts clears it.
    session.Reconnect();
    EXPECT_TRUE(session.Connected());
    EXPECT_FALSE(session.ReconnectRefused());

    // An explicit Reconnect refused with any code counts as well.
    session.Disconnect();
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENOLOGIN));
    EXPECT_EQ(EngineErrorCode([&] { session.Reconnect(); }), KORVEL_REMOTECONNECT);
    EXPECT_TRUE(session.ReconnectRefused());

    // Nobody listening on the port: the same error, but not a refusal.
    const test::RefusingPort closed;
    session.SetPort(closed.Port());
    auto unreachable = CaptureEngineError([&] { session.Reconnect(); });
    EXPECT_EQ(unreachable->ErrorCode, KORVEL_REMOTECONNECT);
    EXPECT_STREQ(unreachable->what(), refused->what());
    EXPECT_FALSE(session.ReconnectRefused());

    // A connection that breaks during the RECONNECT is not a refusal either.
    session.SetPort(peer.Port());
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTECONNECT));
    EXPECT_EQ(EngineErrorCode([&] { session.Reconnect(); }), KORVEL_REMOTECONNECT);
    ASSERT_TRUE(session.ReconnectRefused());
    peer.Then(ScriptedPeer::CloseAfterBytes(3));
    EXPECT_EQ(EngineErrorCode([&] { session.Reconnect(); }), KORVEL_REMOTECONNECT);
    EXPECT_FALSE(session.ReconnectRefused());

    // A refused CONNECTPARAMS is no refused re-connection.
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTECONNECT));
    EXPECT_EQ(EngineErrorCode([&] { session.Reconnect(); }), KORVEL_REMOTECONNECT);
    ASSERT_TRUE(session.ReconnectRefused());
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEMAXCONNECT));
    EXPECT_EQ(EngineErrorCode([&] { session.Connect(); }), KORVEL_REMOTECONNECT);
    EXPECT_FALSE(session.ReconnectRefused());
}

TEST_F(DataSessionTest, ReplyFaultsEndInALostConnection)
{
    auto counter = std::make_shared<test::ReadCounter>();
    session.SetTransportFactory([counter] { return std::make_unique<test::ReadCountingTransport>(counter); });
    LogIn(session);
    EXPECT_EQ(ReplyFaultCode(ScriptedPeer::SendRawThenClose({10, 0})), KORVEL_REMOTECOMMLOST);
    EXPECT_FALSE(session.Connected());

    // Only the first two bytes of the length arrive in the first read: lost, though the rest follows.
    EXPECT_EQ(ReplyFaultCode(
                  [counter](PeerConnection& connection)
                  {
                      connection.ReadRequest();
                      const int readsBefore = counter->Reads(); // the client now waits for the reply
                      const Bytes reply = connection.BuildReply(0);
                      connection.Send(Bytes(reply.begin(), reply.begin() + 2));
                      EXPECT_TRUE(counter->WaitBeyond(readsBefore));
                      connection.Send(Bytes(reply.begin() + 2, reply.end()));
                  }),
              KORVEL_REMOTECOMMLOST);

    EXPECT_EQ(ReplyFaultCode(
                  [](PeerConnection& connection)
                  {
                      connection.ReadRequest();
                      const Bytes reply =
                          connection.BuildReply(0, [](MessageWriter& w) { w.AppendInt32(1); });
                      connection.Send(Bytes(reply.begin(), reply.end() - 2));
                      connection.Close();
                  }),
              KORVEL_REMOTECOMMLOST);

    EXPECT_EQ(ReplyFaultCode(ScriptedPeer::SendRawThenClose({9, 0, 0, 0, 0, 0, 0, 0, 0})),
              KORVEL_REMOTECOMMLOST);
    session.SetMaxMessageSize(1000);
    EXPECT_EQ(ReplyFaultCode(ScriptedPeer::SendRawThenClose({0x88, 0x13, 0, 0, 0, 0, 0x7e, 0x13, 0, 0})),
              KORVEL_REMOTECOMMLOST);
    EXPECT_FALSE(session.Connected());
}

TEST_F(DataSessionTest, AFailedReplyLeavesNothingToReadFromTheOldBuffer)
{
    LogIn(session);
    // A reply whose value the caller has not read yet.
    peer.Then(ScriptedPeer::Answer(0, [](MessageWriter& w) { w.AppendInt32(5); }));
    session.SetRequestCode(REQUEST_GETUPTIME);
    session.BeginRequest();
    session.FinishRequest();
    session.Call();
    ASSERT_TRUE(session.HasMoreValues());

    // The next reply makes the buffer grow and then breaks off.
    EXPECT_EQ(ReplyFaultCode(
                  [](PeerConnection& connection)
                  {
                      connection.ReadRequest();
                      const std::string big(100000, 'x');
                      const Bytes reply = connection.BuildReply(
                          0, [&](MessageWriter& w)
                          { w.AppendValue(big.data(), static_cast<std::int32_t>(big.size())); });
                      connection.Send(Bytes(reply.begin(), reply.begin() + 50000));
                      connection.Close();
                  }),
              KORVEL_REMOTECOMMLOST);
    EXPECT_FALSE(session.HasMoreValues());
    std::int32_t value = 0;
    EXPECT_EQ(EngineErrorCode([&] { session.Reply().Read(value); }), KORVEL_UNCOMPRESS);
    EXPECT_EQ(value, 0);
}

TEST_F(DataSessionTest, AReplyThatIsNotZlibInInternetModeEndsInALostConnection)
{
    session.SetUncompressed(false);
    LogIn(session);
    EXPECT_EQ(ReplyFaultCode(ScriptedPeer::SendRawThenClose({14, 0, 0, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4})),
              KORVEL_REMOTECOMMLOST);
    EXPECT_FALSE(session.Connected());
}

TEST_F(DataSessionTest, ASlowServerIsWaitedForAcrossSeveralWaits)
{
    TDataSession patient(1);
    LogIn(patient);
    peer.Then(ScriptedPeer::AnswerAfter(std::chrono::milliseconds(2300),
                                        [](MessageWriter& w) { w.AppendInt32(5); }));
    EXPECT_EQ(patient.GetUpTime(), 5);
    EXPECT_EQ(peer.Connections(), 1);
}

TEST_F(DataSessionTest, ErrorRepliesBecomeEngineErrorsWithTheirContext)
{
    LogIn(session);
    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTENOTAUTH, {"bob", "sales", "t", "f", "i", "d"}));
    auto refused = CaptureEngineError([&] { session.StopServer(); });
    EXPECT_EQ(refused->ErrorCode, KORVEL_REMOTENOTAUTH);
    EXPECT_EQ(refused->ErrorRemoteName, "127.0.0.1");
    EXPECT_EQ(refused->ErrorUserName, "bob");
    EXPECT_EQ(refused->ErrorDatabaseName, "sales");
    EXPECT_EQ(refused->ErrorTableName, "t");
    EXPECT_EQ(refused->ErrorFieldName, "f");
    EXPECT_EQ(refused->ErrorIndexName, "i");
    EXPECT_EQ(refused->ErrorDetail, "d");
    EXPECT_TRUE(session.Connected()); // a refusal is not a broken connection

    peer.Then(ScriptedPeer::AnswerError(KORVEL_REMOTEINVUSER));
    auto bare = CaptureEngineError([&] { session.StopServer(); });
    EXPECT_EQ(bare->ErrorRemoteName, "127.0.0.1");
    EXPECT_TRUE(bare->ErrorUserName.empty() && bare->ErrorDetail.empty());

    // An error reply without its six strings is malformed.
    peer.Then(
        ScriptedPeer::Answer(KORVEL_REMOTEINVUSER, [](MessageWriter& w) { w.AppendString("only one"); }));
    EXPECT_EQ(EngineErrorCode([&] { session.StopServer(); }), KORVEL_UNCOMPRESS);
    EXPECT_TRUE(session.Connected());
    EXPECT_EQ(peer.Connections(), 1);
}

} // namespace
} // namespace korvel
