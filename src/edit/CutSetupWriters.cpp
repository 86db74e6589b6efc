#include "edit/CutSetupWriters.h"

#include <algorithm>

#include "edit/CutSetup.h"
#include "edit/Global.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"

namespace sundral {

void SetupMp3Writer(TWMIn& Reader, TMP3Out& Writer) {
    CopyId3v2Fields(Reader.Id3v2Tags(), Writer.Id3v2Tags());
    FillId3v1FromId3v2(Reader.Id3v2Tags(), Writer.Id3v1Tags());
    const uint32_t bitrate = Reader.Bitrate();
    const bool vbr = Reader.IsVBR();
    if (vbr) {
        // A variable rate is aimed at the source's measured average through the encoder's
        // average-bit-rate method (the writer aims it with a trial): a VBR quality lands
        // wherever the signal takes it (the best one near twice a typical source's rate).
        // No floor: the listed rate nearest the average would hold it up. With the bit
        // reservoir, as the source's own encoder had it, frames need not round up to a
        // listed rate each, so the rate follows the mean closely instead of in steps.
        Writer.SetBitRate(TMP3BitRate::mbrAuto);
        Writer.SetAverageKbps(
            std::clamp<uint32_t>((bitrate + 500) / 1000, kMinAverageKbps, kMaxAverageKbps));
    } else {
        // A rate beyond 32 bits cannot be a real MP3's; it takes the fallback choice.
        Writer.SetBitRate(BitrateToMp3BitRate(bitrate > 0x7FFFFFFFu ? -1 : int32_t(bitrate)));
        Writer.SetAverageKbps(0);
    }
    const uint32_t channels = Reader.Channels();
    if (channels == 1)
        Writer.SetMode(TMP3Mode::mmMono);
    else if (channels == 2)
        Writer.SetMode(TMP3Mode::mmStereo);
    Writer.SetEnableVBR(vbr);
    Writer.SetEnableBitReservoir(vbr);
    Writer.SetCopyright(Reader.IsProtected());
}

int32_t WmaFormatIndexFor(TWMIn& Reader, const TWMAOut& Writer) {
    const std::string description =
        WmaFormatDescription(Reader.Bitrate(), Reader.SampleRate(), Reader.Channels());
    return FindWmaFormatIndex(description, Writer.Formats(0));
}

void SetupWmaWriter(TWMIn& Reader, TWMAOut& Writer) {
    Writer.SetCodecIndex(0);
    Writer.SetFormatIndex(WmaFormatIndexFor(Reader, Writer));
    CopyId3v2Fields(Reader.Id3v2Tags(), Writer.Id3v2Tags());
}

} // namespace sundral
