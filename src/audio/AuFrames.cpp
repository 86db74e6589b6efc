#include "audio/AuFrames.h"

#include <vector>

#include "audio/AuClasses.h"

namespace sundral {

void ReadWholeFrames(TAuInput& Source, const std::string& What, uint32_t BlockBytes,
                     const std::function<void(uint32_t Bits, uint32_t Channels)>& Start,
                     const std::function<bool(const uint8_t* Data, size_t Frames)>& Take) {
    Source.Init();
    try {
        const uint32_t bits = Source.BitsPerSample();
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw EAuException(What + " cannot read " + std::to_string(bits) + "-bit samples");
        const uint32_t channels = Source.Channels();
        Start(bits, channels);
        const size_t frameBytes = size_t(bits / 8) * channels;
        // The bytes of a frame cut short by its block wait here for the rest.
        std::vector<uint8_t> pending;
        for (;;) {
            const uint8_t* data = nullptr;
            uint32_t bytes = BlockBytes;
            Source.GetData(data, bytes);
            if (bytes == 0) break;
            pending.insert(pending.end(), data, data + bytes);
            const size_t frames = pending.size() / frameBytes;
            if (!Take(pending.data(), frames)) break;
            pending.erase(pending.begin(), pending.begin() + ptrdiff_t(frames * frameBytes));
        }
        Source.Flush();
    } catch (...) {
        Source.Flush();
        throw;
    }
}

} // namespace sundral
