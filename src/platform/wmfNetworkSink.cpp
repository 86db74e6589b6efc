#include <chrono>
#include <climits>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "platform/mediaLibs.h"
#include "platform/wmfSinks.h"

namespace sundral::wmf {

namespace {

constexpr size_t kMaxQueued = size_t(32) << 20;
constexpr int64_t kDrainMs = 10000;
constexpr int kAcceptFailures = 100;

// The client a thread serves (none on the accepting thread): the library's interrupt check
// has only the sink to go by.
thread_local const std::atomic<bool>* tlClientAbort = nullptr;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether a server could listen on the address and port now. The library leaks a little
// when its own listen fails, so a port that is taken is found out here first.
bool CanListen(const std::string& Address, uint32_t Port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(Address.c_str(), std::to_string(Port).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // as the library does
        ok = bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 1) == 0;
        close(fd);
    }
    freeaddrinfo(found);
    return ok;
}

} // namespace

TWmResult WMCreateWriterNetworkSink(std::shared_ptr<TWmWriterNetworkSink>& Sink) {
    if (!RuntimeStarted()) return wmErrNotStarted;
    static std::once_flag networkStarted;
    std::call_once(networkStarted, [] { ff::avformat_network_init(); });
    Sink = std::make_shared<TWmWriterNetworkSink>();
    return wmOk;
}

TWmWriterNetworkSink::~TWmWriterNetworkSink() {
    Close();
}

TWmResult TWmWriterNetworkSink::SetNetworkProtocol(uint32_t Protocol) {
    if (Protocol != 0) return wmErrInvalidArg;
    FProtocol = Protocol;
    return wmOk;
}

TWmResult TWmWriterNetworkSink::SetListenAddress(std::string_view Address) {
    if (FServer != nullptr || Address.empty()) return wmErrInvalidState;
    FAddress = Address;
    return wmOk;
}

TWmResult TWmWriterNetworkSink::SetMaximumClients(uint32_t Count) {
    FMaxClients = Count;
    return wmOk;
}

TWmResult TWmWriterNetworkSink::GetMaximumClients(uint32_t& Count) const {
    Count = FMaxClients;
    return wmOk;
}

int TWmWriterNetworkSink::Interrupted(void* Opaque) {
    auto* self = static_cast<TWmWriterNetworkSink*>(Opaque);
    if (tlClientAbort != nullptr) return tlClientAbort->load() || NowMs() > self->FDrainDeadline;
    return self->FStopAccepting.load();
}

TWmResult TWmWriterNetworkSink::Open(uint32_t Port) {
    if (FServer != nullptr) return wmErrInvalidState;
    if (Port == 0 || Port > 65535) return wmErrInvalidArg;
    if (!CanListen(FAddress, Port)) return wmErrFail;
    AVDictionary* options = nullptr;
    ff::av_dict_set(&options, "listen", "2", 0); // many clients, each taken with avio_accept
    const AVIOInterruptCB interrupt{&Interrupted, this};
    const std::string url = "http://" + FAddress + ":" + std::to_string(Port);
    FStopAccepting = false;
    const int r = ff::avio_open2(&FServer, url.c_str(), AVIO_FLAG_WRITE, &interrupt, &options);
    ff::av_dict_free(&options);
    if (r < 0) {
        FServer = nullptr;
        return wmErrFail;
    }
    FAcceptThread = std::thread([this] { AcceptLoop(); });
    return wmOk;
}

TWmResult TWmWriterNetworkSink::Close() {
    if (FServer == nullptr) return wmOk;
    FStopAccepting = true; // also interrupts the library's wait for a client
    if (FAcceptThread.joinable()) FAcceptThread.join();
    {
        std::lock_guard guard(FLock);
        for (TClient& c : FClients) c.Finish = true;
    }
    FChanged.notify_all();
    // Clients get what is queued for them; one that stopped reading is given up in time.
    FDrainDeadline = NowMs() + kDrainMs;
    for (TClient& c : FClients)
        if (c.Thread.joinable()) c.Thread.join();
    FClients.clear();
    ff::avio_closep(&FServer);
    FDrainDeadline = INT64_MAX;
    return wmOk;
}

void TWmWriterNetworkSink::AcceptLoop() {
    int failures = 0;
    while (!FStopAccepting) {
        AVIOContext* io = nullptr;
        if (ff::avio_accept(FServer, &io) < 0) {
            if (FStopAccepting || ++failures > kAcceptFailures) break; // closed, or broken
            continue;
        }
        failures = 0;
        ReapFinished();
        std::lock_guard guard(FLock);
        size_t active = 0;
        for (const TClient& c : FClients) active += c.Admitted && !c.Gone;
        TClient& client = FClients.emplace_back();
        client.Io = io;
        client.Admitted = FMaxClients == 0 || active < FMaxClients;
        if (client.Admitted && FHeaderDone) Enqueue(client, FHeader.data(), FHeader.size());
        client.Finish = FEnded;
        client.Thread = std::thread([this, &client] { ServeClient(&client); });
    }
}

void TWmWriterNetworkSink::ReapFinished() {
    std::list<TClient> gone;
    {
        std::lock_guard guard(FLock);
        for (auto it = FClients.begin(); it != FClients.end();) {
            auto next = std::next(it);
            if (it->Gone) gone.splice(gone.end(), FClients, it);
            it = next;
        }
    }
    for (TClient& c : gone) c.Thread.join();
}

void TWmWriterNetworkSink::ServeClient(TClient* Client) {
    tlClientAbort = &Client->Abort;
    // The library's server answers 200, 400, 403, 404 and 500 only.
    if (!Client->Admitted)
        ff::av_opt_set_int(Client->Io, "reply_code", 500, AV_OPT_SEARCH_CHILDREN);
    ff::av_opt_set(Client->Io, "content_type", "audio/x-ms-wma", AV_OPT_SEARCH_CHILDREN);
    int r;
    while ((r = ff::avio_handshake(Client->Io)) > 0) {
    }
    const bool served = r == 0 && Client->Admitted;
    if (served) ReportStatus(TWmStatus::wmsClientConnect, wmOk);
    while (served) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock lock(FLock);
            FChanged.wait(lock, [&] {
                return !Client->Queue.empty() || Client->Finish || Client->Abort.load();
            });
            if (Client->Abort.load() || Client->Queue.empty()) break;
            chunk = std::move(Client->Queue.front());
            Client->Queue.pop_front();
            Client->Queued -= chunk.size();
        }
        ff::avio_write(Client->Io, chunk.data(), int(chunk.size()));
        ff::avio_flush(Client->Io);
        if (Client->Io->error < 0) break; // the client went away
    }
    ff::avio_closep(&Client->Io);
    if (served) ReportStatus(TWmStatus::wmsClientDisconnect, wmOk);
    tlClientAbort = nullptr;
    std::lock_guard guard(FLock);
    Client->Gone = true;
}

void TWmWriterNetworkSink::Enqueue(TClient& Client, const uint8_t* Data, size_t Size) {
    if (Size == 0 || Client.Abort.load()) return;
    if (Client.Queued + Size > kMaxQueued) {
        Client.Abort = true; // too far behind to keep up
        return;
    }
    Client.Queue.emplace_back(Data, Data + Size);
    Client.Queued += Size;
}

TWmResult TWmWriterNetworkSink::OnBeginWriting() {
    if (FServer == nullptr) return wmErrInvalidState;
    std::lock_guard guard(FLock);
    FHeader.clear();
    FHeaderDone = FEnded = false;
    return wmOk;
}

TWmResult TWmWriterNetworkSink::OnData(int64_t Offset, const uint8_t* Data, size_t Size) {
    {
        std::lock_guard guard(FLock);
        if (!FHeaderDone) {
            FHeader.insert(FHeader.end(), Data, Data + Size);
            return wmOk;
        }
        for (TClient& c : FClients) {
            if (!c.Admitted || c.Gone || c.Finish) continue;
            if (c.Synced) {
                Enqueue(c, Data, Size);
                continue;
            }
            // A client that joined late starts at the next packet boundary.
            const int64_t into = Offset - FHeaderSize;
            const int64_t skip = (FPacketSize - into % FPacketSize) % FPacketSize;
            if (skip < int64_t(Size)) {
                Enqueue(c, Data + skip, Size - size_t(skip));
                c.Synced = true;
            }
        }
    }
    FChanged.notify_all();
    return wmOk;
}

void TWmWriterNetworkSink::OnHeaderEnd(int64_t HeaderSize, uint32_t PacketSize) {
    {
        std::lock_guard guard(FLock);
        FHeaderSize = HeaderSize;
        FPacketSize = PacketSize > 0 ? PacketSize : 1;
        FHeaderDone = true;
        for (TClient& c : FClients) {
            if (!c.Admitted || c.Gone) continue;
            Enqueue(c, FHeader.data(), FHeader.size());
            c.Synced = true; // it was there before the first packet
        }
    }
    FChanged.notify_all();
}

TWmResult TWmWriterNetworkSink::OnEndWriting() {
    {
        std::lock_guard guard(FLock);
        FEnded = true;
        for (TClient& c : FClients) c.Finish = true;
    }
    FChanged.notify_all();
    return wmOk;
}

} // namespace sundral::wmf
