// Readers and writers by file type, set up as the windows set theirs, and the checks made
// before anything is opened for writing.
#pragma once

#include <memory>
#include <string>

#include "audio/AuClassesFile.h"

namespace sundral::cli {

enum class TFileKind { fkWav, fkMp3, fkWma, fkUnknown };

// By extension, ignoring case.
TFileKind KindOf(const std::string& Path);
const char* KindName(TFileKind Kind);

// A reader for the kind, owned by Owner; raises EAuException for kinds this build cannot read.
TAuFileIn* CreateReader(TFileKind Kind, TComponent* Owner);
// A writer for the kind with the windows' stored settings, owned by Owner.
TAuFileOut* CreateWriter(TFileKind Kind, TComponent* Owner);

// Opens the reader and checks that it holds audio it can deliver; the message says why not.
bool CheckReadable(TAuFileIn& Reader, const std::string& Path, std::string& Message);

// True when both names reach the same file (the second need not exist).
bool SameFile(const std::string& A, const std::string& B);

// A description of the reader's encoding for `info` ("wtPCM" for WAV).
std::string TypeName(TAuFileIn& Reader);

} // namespace sundral::cli
