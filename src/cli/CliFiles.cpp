#include "cli/CliFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/CutSetupWriters.h"
#include "formats/AuMp3In.h"
#include "formats/AuMp3Out.h"
#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"
#include "formats/AuWinMedia.h"
#include "formats/AuWinMediaOut.h"
#include "platform/TextConv.h"

namespace sundral::cli {

TFileKind KindOf(const std::string& Path) {
    std::string ext = std::filesystem::path(Path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
    if (ext == ".WAV") return TFileKind::fkWav;
    if (ext == ".MP3") return TFileKind::fkMp3;
    if (ext == ".WMA") return TFileKind::fkWma;
    return TFileKind::fkUnknown;
}

const char* KindName(TFileKind Kind) {
    switch (Kind) {
    case TFileKind::fkWav:
        return "WAV";
    case TFileKind::fkMp3:
        return "MP3";
    case TFileKind::fkWma:
        return "WMA";
    case TFileKind::fkUnknown:
        break;
    }
    return "unknown";
}

TAuFileIn* CreateReader(TFileKind Kind, TComponent* Owner) {
    switch (Kind) {
    case TFileKind::fkWav:
        return new TWaveIn(Owner);
    case TFileKind::fkMp3:
        return new TMP3In(Owner);
    case TFileKind::fkWma:
        return new TWMIn(Owner);
    case TFileKind::fkUnknown:
        break;
    }
    throw EAuException("Unknown file type: use a .wav, .mp3 or .wma file");
}

TAuFileOut* CreateWriter(TFileKind Kind, TComponent* Owner) {
    if (Kind == TFileKind::fkWav) {
        auto* out = new TWaveOut(Owner);
        out->SetWavType(TWavType::wtPCM);
        out->SetBlockSize(512);
        out->SetCreateNonMsHeaders(false);
        out->SetFileMode(TFileOutputMode::foRewrite);
        return out;
    }
    if (Kind == TFileKind::fkMp3) {
        auto* out = new TMP3Out(Owner);
        out->SetBitRate(TMP3BitRate::mbr128);
        out->SetMode(TMP3Mode::mmMono);
        out->SetEnableBitReservoir(false);
        out->SetStrictISO(false);
        out->SetVBRQuality(TMP3Quality::mp3ql0);
        out->SetEnableVBR(false);
        out->SetAverageBitrate(TMP3BitRate::mbrAuto);
        out->SetMaximumBitrate(TMP3BitRate::mbrAuto);
        return out;
    }
    if (Kind == TFileKind::fkWma) {
        auto* out = new TWMAOut(Owner);
        out->SetDesiredBitrate(0);
        out->SetLossless(false);
        out->SetVBR(false);
        out->SetVBRQuality(0);
        return out;
    }
    throw EAuException("Unknown file type: use a .wav, .mp3 or .wma file");
}

void SetupWriterFrom(TAuFileOut& Writer, TAuFileIn& Reader, bool BitReservoir) {
    auto* media = dynamic_cast<TWMIn*>(&Reader);
    if (auto* mp3 = dynamic_cast<TMP3Out*>(&Writer); mp3 && media) {
        SetupMp3Writer(*media, *mp3);
        mp3->SetEnableBitReservoir(BitReservoir);
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
