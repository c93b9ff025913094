// TDataSession::ReceiveReply and CheckReply on arbitrary bytes from the server. The first input byte picks
// Internet or LAN mode (bit 0), how many bytes each read may return (bits 1-4) and which values are read from
// the first reply (bits 5-7); the rest is what the server sends after a valid CONNECTPARAMS reply. Every
// failure must be an engine error, and nothing may be read outside a buffer.
#include "ReadReply.h"

#include "engine/DataSession.h"
#include "engine/wire/RequestCodes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

using korvel::ConnectionDescription;
using korvel::MessageBuffer;
using korvel::MessageWriter;

// Plays back the handshake reply, then the fuzz input, in reads of at most `chunk` bytes; accepts every
// write.
class PlaybackTransport : public korvel::Transport
{
public:
    PlaybackTransport(std::vector<std::uint8_t> stream, std::int32_t chunk)
        : stream_(std::move(stream)), chunk_(chunk)
    {
    }

    void Open(const ConnectionDescription&, int, int, const korvel::WaitLimits*) override { open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool WaitForData(int) override { return true; } // data, or the end of the stream
    std::int32_t Write(const std::uint8_t*, std::int32_t size) override { return size; }
    std::int32_t Read(std::uint8_t* data, std::int32_t size) override
    {
        const auto count = static_cast<std::int32_t>(std::min<std::size_t>(
            {static_cast<std::size_t>(size), static_cast<std::size_t>(chunk_), stream_.size() - position_}));
        // An exact copy, so that the sanitizer sees a read beyond what the server sent.
        std::memcpy(data, stream_.data() + position_, static_cast<std::size_t>(count));
        position_ += static_cast<std::size_t>(count);
        return count;
    }

private:
    std::vector<std::uint8_t> stream_;
    std::size_t position_ = 0;
    std::int32_t chunk_;
    bool open_ = false;
};

std::vector<std::uint8_t> ConnectParamsReply()
{
    MessageBuffer buffer;
    MessageWriter writer(buffer);
    writer.SetCode(0);
    writer.Begin();
    writer.AppendInt32(7);
    writer.AppendInt64(32100);
    writer.Finish(false);
    return std::vector<std::uint8_t>(buffer.Data(), buffer.Data() + writer.Header().TotalSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 16))
        return 0;
    const bool internet = (data[0] & 1) != 0;
    const std::int32_t chunk = 4 + ((data[0] >> 1) & 0x0f) * 997;
    const int values = data[0] >> 5;
    std::vector<std::uint8_t> stream = ConnectParamsReply();
    stream.insert(stream.end(), data + 1, data + size);

    korvel::TDataSession session(1);
    session.SetMaxMessageSize(1 << 16); // every claimed size is allocated: small keeps runs fast
    session.SetRemote(true);
    session.SetUncompressed(!internet);
    session.SetTransportFactory([&stream, chunk]
                                { return std::make_unique<PlaybackTransport>(stream, chunk); });
    try
    {
        session.Connect();
        for (int reply = 0; reply < 4; ++reply)
        {
            session.ReceiveReply();
            try
            {
                session.CheckReply();
                korvel::fuzz::ReadValues(session.Reply(), static_cast<std::uint16_t>(values + reply));
            }
            catch (const korvel::EKORVELEngineError&)
            {
                // a refusal or a malformed value: the next reply is read all the same
            }
        }
    }
    catch (const korvel::EKORVELEngineError&)
    {
        // a lost connection ends the exchange
    }
    return 0;
}
