// The runtime's writer sinks: where a writer's container bytes go.
//
// TWmWriterFileSink: a file, created (or emptied) by Open and closed when writing ends. A
// write that falls short (full disk, lost device) is reported as wmsError to the registered
// callbacks and fails the writer's call.
//
// TWmWriterNetworkSink: an HTTP server (protocol 0) on a port. Each client that connects
// gets the container header and then the packets from the next packet boundary on, so it
// can start decoding wherever the stream is; clients beyond the client limit are refused
// with "500 Internal server error" (the library's server has no "503"). Connects and disconnects
// are reported as wmsClientConnect and wmsClientDisconnect. A client that falls too far behind
// (more than 32 MiB queued) is let go. When writing ends, every client receives what is queued for
// it and is let go; Close stops listening and waits for that (at most 10 seconds per client that
// stopped reading).
//
// Threading: the writer calls the On* steps on its thread; Open, Close and the settings are
// for the thread that drives the writer. The network sink runs one thread that accepts
// clients and one per client; status callbacks come from those threads. Ownership: shared
// between the writer and its creator (std::shared_ptr); destroying the network sink closes it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/wmfWriter.h"

struct AVIOContext;

namespace sundral {
class TAuFileStream;
}

namespace sundral::wmf {

class TWmWriterFileSink : public TWmWriterSink {
public:
    ~TWmWriterFileSink() override;

    // Creates or empties the file; fails (wmErrWriteFailed) when it cannot be created.
    TWmResult Open(std::u16string_view FileName);

    bool Seekable() const override { return true; }
    TWmResult OnBeginWriting() override;
    TWmResult OnData(int64_t Offset, const uint8_t* Data, size_t Size) override;
    void OnHeaderEnd(int64_t, uint32_t) override {}
    TWmResult OnEndWriting() override;

private:
    std::unique_ptr<TAuFileStream> FStream;
    bool FFailed = false;
};

class TWmWriterNetworkSink : public TWmWriterSink {
public:
    ~TWmWriterNetworkSink() override;

    // Only 0 (HTTP) is known.
    TWmResult SetNetworkProtocol(uint32_t Protocol);
    // The address to listen on: "0.0.0.0" (every interface) unless set before Open.
    TWmResult SetListenAddress(std::string_view Address);
    // 0: no limit.
    TWmResult SetMaximumClients(uint32_t Count);
    TWmResult GetMaximumClients(uint32_t& Count) const;
    // Starts listening on the port (1..65535); fails when it cannot.
    TWmResult Open(uint32_t Port);
    // Lets every client go (after what is queued for it) and stops listening.
    TWmResult Close();

    bool Seekable() const override { return false; }
    TWmResult OnBeginWriting() override;
    TWmResult OnData(int64_t Offset, const uint8_t* Data, size_t Size) override;
    void OnHeaderEnd(int64_t HeaderSize, uint32_t PacketSize) override;
    TWmResult OnEndWriting() override;

private:
    struct TClient {
        AVIOContext* Io = nullptr;
        bool Admitted = false; // within the client limit; refused otherwise
        bool Gone = false;     // its thread is done with it
        bool Synced = false;   // receives packets (the header went out before them)
        std::deque<std::vector<uint8_t>> Queue;
        size_t Queued = 0;
        bool Finish = false; // leave once the queue is empty
        std::atomic<bool> Abort{false};
        std::thread Thread;
    };

    static int Interrupted(void* Opaque);
    void AcceptLoop();
    void ServeClient(TClient* Client);
    void Enqueue(TClient& Client, const uint8_t* Data, size_t Size);
    void ReapFinished();

    std::string FAddress = "0.0.0.0";
    uint32_t FProtocol = 0;
    std::atomic<uint32_t> FMaxClients{0};
    AVIOContext* FServer = nullptr;
    std::thread FAcceptThread;
    std::atomic<bool> FStopAccepting{false};
    std::atomic<int64_t> FDrainDeadline{INT64_MAX}; // steady-clock ms; clients give up after

    std::mutex FLock; // guards everything below
    std::condition_variable FChanged;
    std::list<TClient> FClients;
    std::vector<uint8_t> FHeader;
    bool FHeaderDone = false;
    bool FEnded = false;
    int64_t FHeaderSize = 0;
    uint32_t FPacketSize = 0;
};

TWmResult WMCreateWriterFileSink(std::shared_ptr<TWmWriterFileSink>& Sink);
TWmResult WMCreateWriterNetworkSink(std::shared_ptr<TWmWriterNetworkSink>& Sink);

} // namespace sundral::wmf
