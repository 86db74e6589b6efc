#include "cli/CliFiles.h"

#include <sys/stat.h>

#include <filesystem>

#include "edit/CutSetupWriters.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "platform/TextConv.h"

namespace sundral::cli {

void SetupWriterFrom(TAuFileOut& Writer, TAuFileIn& Reader, bool BitReservoir) {
    auto* media = dynamic_cast<TWMIn*>(&Reader);
    if (auto* mp3 = dynamic_cast<TMP3Out*>(&Writer); mp3 && media) {
        SetupMp3Writer(*media, *mp3);
        // A variable-rate source is re-encoded with the reservoir whatever the option says.
        mp3->SetEnableBitReservoir(BitReservoir || mp3->EnableBitReservoir());
    } else if (auto* wma = dynamic_cast<TWMAOut*>(&Writer); wma && media) {
        SetupWmaWriter(*media, *wma);
    }
}

bool CheckReadable(TAuFileIn& Reader, const std::string& Path, std::string& Message) {
    try {
        Reader.OpenSource();
    } catch (const std::exception& e) {
        Message = Path + ": " + e.what();
        return false;
    }
    if (!Reader.Valid()) {
        Message = Path + ": " + Reader.InvalidReason();
        return false;
    }
    return true;
}

TAuFileIn* OpenReadable(const std::string& File, TComponent* Owner, std::string& Message) {
    TAuFileIn* reader = NewReader(SoundKindOf(File), Owner);
    reader->SetFileName(File);
    return CheckReadable(*reader, File, Message) ? reader : nullptr;
}

TMediaFacts ReadMediaFacts(TAuFileIn& Reader) {
    TMediaFacts facts;
    auto* media = dynamic_cast<TWMIn*>(&Reader);
    if (!media) return facts;
    facts.Known = true;
    facts.Bitrate = media->Bitrate();
    facts.IsVBR = media->IsVBR();
    facts.IsProtected = media->IsProtected();
    const TId3v2Tags& tags = media->Id3v2Tags();
    // Year and track are the tag set's 8-bit texts; the rest are wide.
    const std::pair<const char*, std::string> fields[] = {
        {"artist", Utf16ToUtf8(tags.Artist())},
        {"album", Utf16ToUtf8(tags.Album())},
        {"genre", Utf16ToUtf8(tags.Genre())},
        {"year", tags.Year()},
        {"track", tags.Track()},
        {"title", Utf16ToUtf8(tags.Title())},
        {"comment", Utf16ToUtf8(tags.Comment())},
        {"composer", Utf16ToUtf8(tags.Composer())},
        {"encoder", Utf16ToUtf8(tags.Encoder())},
        {"copyright", Utf16ToUtf8(tags.Copyright())},
        {"language", Utf16ToUtf8(tags.Language())},
        {"link", Utf16ToUtf8(tags.Link())}};
    for (const auto& [name, text] : fields)
        if (!text.empty()) facts.Tags.emplace_back(name, text);
    return facts;
}

std::string TypeName(TAuFileIn& Reader) {
    if (auto* wave = dynamic_cast<TWaveIn*>(&Reader)) return WavTypeName(wave->WavType());
    if (auto* media = dynamic_cast<TWMIn*>(&Reader)) return media->Codec();
    return "";
}

} // namespace sundral::cli
