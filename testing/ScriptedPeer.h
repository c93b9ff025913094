// An in-process peer on 127.0.0.1 (ephemeral port) that plays the server side of the remote protocol from a
// script. It records every request it receives, byte for byte, and answers each one with the next scripted
// step; once the script is used up it answers like a willing server (CONNECTPARAMS with a session id and a
// version, every other request with reply code 0, LOGOUT with nothing). Steps can also misbehave: close after
// some bytes, send a cut reply, answer slowly. Each connection is served on its own thread; all share one
// script.
#pragma once

#include "engine/wire/Message.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvel::test
{

using Bytes = std::vector<std::uint8_t>;

struct ReceivedRequest
{
    int Connection = 0;   // 1 for the first connection the peer accepted
    Bytes Wire;           // the bytes as they arrived (compressed in Internet mode)
    MessageHeader Header; // after unpacking: TotalSize and PayloadSize of the plain message
    Bytes Message;        // the plain message, header included

    std::uint16_t Code() const { return Header.Code; }
    Bytes Payload() const { return Bytes(Message.begin() + HeaderSize, Message.end()); }
    MessageReader Reader() const { return MessageReader(Message.data(), Header.TotalSize); }
};

// The peer's side of one accepted connection, handed to each script step.
class PeerConnection
{
public:
    PeerConnection(int fd, int number, class ScriptedPeer& peer);
    ~PeerConnection();

    // Reads one whole request and records it; nullopt when the client closed the connection.
    std::optional<ReceivedRequest> ReadRequest();
    // Reads `count` raw bytes (fewer at end of stream) without recording them.
    Bytes ReadBytes(std::size_t count);
    void Send(const Bytes& bytes);
    // A reply in the connection's mode: the code, then the values `fill` appends.
    void Reply(std::uint16_t code, const std::function<void(MessageWriter&)>& fill = {});
    // An error reply: the code and the six context strings (user, database, table, field, index, detail).
    void ReplyError(std::uint16_t code, const std::vector<std::string>& context = {});
    // The bytes Reply would send.
    Bytes BuildReply(std::uint16_t code, const std::function<void(MessageWriter&)>& fill = {});
    void Close();

    bool Closed() const { return fd_ < 0; }
    bool Compressed() const { return compressed_; }
    // True once the client sent data or closed; false when the peer is stopping.
    bool WaitReadable();

private:
    int fd_;
    int number_;
    bool compressed_ = false;
    bool answeringHandshake_ = false;
    ScriptedPeer& peer_;
    MessageBuffer replyBuffer_;
};

class ScriptedPeer
{
public:
    // Handles one request (normally by reading it and answering).
    using Step = std::function<void(PeerConnection&)>;

    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t Port() const { return port_; }

    // The automatic answers: the session id and version of CONNECTPARAMS (nullopt: no version value).
    void SetSessionId(std::int32_t id) { sessionId_ = id; }
    void SetServerVersion(std::optional<std::int64_t> version);

    void Then(Step step);
    // Common steps.
    static Step Answer(std::uint16_t code, std::function<void(MessageWriter&)> fill = {});
    static Step AnswerError(std::uint16_t code, std::vector<std::string> context = {});
    static Step AnswerAfter(std::chrono::milliseconds delay, std::function<void(MessageWriter&)> fill = {});
    static Step CloseAfterBytes(std::size_t count);
    // Reads the request, sends these raw bytes, then closes.
    static Step SendRawThenClose(Bytes bytes);
    // The automatic answer for whatever arrives.
    Step Automatic();

    std::vector<ReceivedRequest> Requests() const;
    std::vector<std::uint16_t> RequestCodes() const;
    int Connections() const { return connections_; }
    // Waits until the peer has recorded `count` requests (or a second has passed).
    bool WaitForRequests(std::size_t count);

private:
    friend class PeerConnection;
    void Serve();
    void ServeConnection(int fd, int number);
    void Record(ReceivedRequest request);
    std::optional<Step> NextStep();

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<std::int32_t> sessionId_{4242};
    mutable std::mutex mutex_;
    std::condition_variable recorded_;
    std::optional<std::int64_t> serverVersion_ = 31100;
    std::deque<Step> script_;
    std::vector<ReceivedRequest> requests_;
    std::thread thread_;
};

} // namespace korvel::test
