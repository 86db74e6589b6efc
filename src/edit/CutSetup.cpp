#include "edit/CutSetup.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/TextConv.h"

namespace sundral {
namespace {

// A decimal number filling the whole text (blanks around it allowed) that fits 0..Limit;
// 0 for anything else.
uint32_t DecimalField(const std::string& Text, uint32_t Limit) {
    const size_t first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return 0;
    const size_t last = Text.find_last_not_of(' ');
    int64_t value = 0;
    const char* begin = Text.data() + first;
    const char* end = Text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || value < 0 || value > int64_t(Limit)) return 0;
    return uint32_t(value);
}

std::string Upper(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char Letter) { return char(std::toupper(Letter)); });
    return Text;
}

// The kilobit rates the WMA formats are named by, with the measured ranges (exclusive
// bounds) that are taken as each of them.
struct TRateSnap {
    uint32_t Above, Below, Rate;
};
constexpr TRateSnap kRateSnaps[] = {{90, 100, 96},   {120, 135, 128}, {145, 180, 160},
                                    {185, 200, 192}, {250, 270, 256}, {310, 330, 320}};

} // namespace

int64_t ScaleToSamples(int64_t Total, int32_t Position, int32_t Steps) {
    const __int128 product = __int128(Total) * Position;
    __int128 quotient = product / Steps;
    const __int128 twiceRest = (product % Steps) * 2;
    // The division truncates towards zero; the rest carries the sign of the product.
    const __int128 sign = product < 0 ? -1 : 1;
    const __int128 twiceRestAbs = twiceRest < 0 ? -twiceRest : twiceRest;
    if (twiceRestAbs > Steps || (twiceRestAbs == Steps && quotient % 2 != 0)) quotient += sign;
    return int64_t(quotient);
}

int64_t StepToSample(int32_t Step, int32_t Max, int64_t TotalSamples, uint32_t SampleRate,
                     int32_t StepMs) {
    if (Step >= Max && Max > 0) return TotalSamples;
    if (Step <= 0) return 0;
    // p x StepMs ms at SampleRate frames a second is p x SampleRate x StepMs / 1000 frames.
    return std::min(ScaleToSamples(int64_t(SampleRate) * StepMs, Step, 1000), TotalSamples);
}

TSampleRange StepsToSamples(int32_t PositionL, int32_t PositionU, int32_t Max, int64_t TotalSamples,
                            uint32_t SampleRate, int32_t StepMs) {
    if (Max <= 0) return {0, TotalSamples};
    return {StepToSample(PositionL, Max, TotalSamples, SampleRate, StepMs),
            StepToSample(PositionU, Max, TotalSamples, SampleRate, StepMs)};
}

int32_t StepsOf(int32_t LengthMs, int32_t StepMs) {
    if (LengthMs <= 0) return 0;
    return std::max(1, LengthMs / StepMs);
}

int32_t StepToMs(int32_t Step, int32_t Max, int32_t LengthMs, int32_t StepMs) {
    if (Step >= Max && Max > 0) return LengthMs;
    if (Step <= 0) return 0;
    return int32_t(std::min<int64_t>(int64_t(Step) * StepMs, LengthMs));
}

int32_t MsToStep(int32_t Ms, int32_t Max, int32_t StepMs) {
    return std::clamp(Ms / StepMs, 0, std::max(Max, 0));
}

int32_t SampleToNearestStep(int64_t Sample, int32_t Max, uint32_t SampleRate, int32_t StepMs) {
    if (SampleRate == 0 || Sample <= 0) return 0;
    // Sample / (SampleRate x StepMs / 1000), rounded half up, in whole numbers.
    const __int128 scaled = __int128(Sample) * 1000;
    const __int128 unit = __int128(SampleRate) * StepMs;
    const int64_t step = int64_t((scaled * 2 + unit) / (unit * 2));
    return int32_t(std::min<int64_t>(step, std::max(Max, 0)));
}

void SetReaderRange(TAuStreamedInput& Reader, const TSampleRange& Range) {
    Reader.SetStartSample(Range.StartSample);
    // An EndSample of 0 gives -1, the end of the data: only a source without frames has a
    // stretch ending there.
    Reader.SetEndSample(Range.EndSample - 1);
}

void RequireSound(TAuFileIn& Reader) {
    Reader.TotalSamples();
    if (!Reader.Valid())
        throw EAuException(Reader.FileName() + ": not a sound file this program can read");
}

void CopyId3v2Fields(const TId3v2Tags& From, TId3v2Tags& To) {
    To.SetArtist(From.Artist());
    To.SetAlbum(From.Album());
    To.SetGenre(From.Genre());
    To.SetYear(From.Year());
    To.SetTrack(From.Track());
    To.SetTitle(From.Title());
    To.SetComment(From.Comment());
    To.SetComposer(From.Composer());
    To.SetEncoder(From.Encoder());
    To.SetCopyright(From.Copyright());
    To.SetLanguage(From.Language());
    To.SetLink(From.Link());
}

void FillId3v1FromId3v2(const TId3v2Tags& From, TId3v1Tags& To) {
    To.Clear();
    To.SetArtist(Utf16ToUtf8(From.Artist()));
    To.SetAlbum(Utf16ToUtf8(From.Album()));
    To.SetGenre(Utf16ToUtf8(From.Genre()));
    // The ID3v1 block holds the year in 16 bits and the track in 8.
    To.SetYear(uint16_t(DecimalField(From.Year(), 0xFFFF)));
    To.SetTrack(uint8_t(DecimalField(From.Track(), 0xFF)));
    To.SetTitle(Utf16ToUtf8(From.Title()));
    To.SetComment(Utf16ToUtf8(From.Comment()));
}

mp3lossless::TReplacedTags Mp3PieceTags(const TId3v2Tags& Fields, int32_t Number) {
    TId3v1Tags v1;
    FillId3v1FromId3v2(Fields, v1);
    v1.SetTrack(Number > 0 && Number <= 0xFF ? uint8_t(Number) : 0);
    const TId3v1Block block = v1.MakeBlock();
    return {Fields.MakeTag(true), {block.begin(), block.end()}};
}

std::string WmaFormatDescription(uint32_t Bitrate, uint32_t SampleRate, uint32_t Channels) {
    uint32_t kbps = Bitrate / 1000;
    for (const TRateSnap& snap : kRateSnaps) {
        if (kbps > snap.Above && kbps < snap.Below) {
            kbps = snap.Rate;
            break;
        }
    }
    const uint32_t khz = SampleRate / 1000;
    std::string text = std::to_string(kbps) + " kbps, ";
    if (khz < 10) text += ' ';
    text += std::to_string(khz) + " kHz, ";
    text += Channels > 1 ? "stereo" : "mono";
    return text;
}

int32_t FindWmaFormatIndex(const std::string& Description,
                           const std::vector<std::string>& Formats) {
    const std::string wanted = Upper(Description);
    for (size_t i = 0; i < Formats.size(); ++i)
        if (Upper(Formats[i]).find(wanted) != std::string::npos) return int32_t(i);
    return kFallbackWmaFormatIndex;
}

} // namespace sundral
