#include "cli/CliFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "formats/AuWaveIn.h"
#include "formats/AuWaveOut.h"

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
    case TFileKind::fkWma:
        throw EAuException(std::string(KindName(Kind)) + " files are not supported yet");
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
    if (Kind == TFileKind::fkUnknown)
        throw EAuException("Unknown file type: use a .wav, .mp3 or .wma file");
    throw EAuException(std::string(KindName(Kind)) + " files are not supported yet");
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

bool SameFile(const std::string& A, const std::string& B) {
    std::error_code ec;
    if (std::filesystem::exists(B, ec)) return std::filesystem::equivalent(A, B, ec);
    auto a = std::filesystem::weakly_canonical(A, ec);
    auto b = std::filesystem::weakly_canonical(B, ec);
    return a == b;
}

std::string TypeName(TAuFileIn& Reader) {
    if (auto* wave = dynamic_cast<TWaveIn*>(&Reader)) return WavTypeName(wave->WavType());
    return "";
}

} // namespace sundral::cli
