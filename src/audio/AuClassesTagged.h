// File sources and sinks that carry tag sets.
//
// TAuTaggedFileIn owns an ID3v1, an ID3v2, an APEv2 and a common tag set that its reader
// fills when it opens a file. TAuTaggedFileOut owns the ID3v1, ID3v2 and APEv2 sets that its
// writer stores; assigning a set copies it into the owned one, which stays the same object.
//
// Threading: the sets are filled by the reader's OpenSource (under its file lock) and read
// by windows on the UI thread between runs; writers read theirs on the worker during a run.
#pragma once

#include "audio/AuClassesFile.h"
#include "formats/AuTags.h"

namespace sundral {

class TAuTaggedFileIn : public TAuFileIn {
public:
    explicit TAuTaggedFileIn(TComponent* AOwner) : TAuFileIn(AOwner) {}

    TId3v1Tags& Id3v1Tags() { return FId3v1Tags; }
    TId3v2Tags& Id3v2Tags() { return FId3v2Tags; }
    TAPEv2Tags& APEv2Tags() { return FAPEv2Tags; }
    TCommonTags& CommonTags() { return FCommonTags; }

protected:
    TId3v1Tags FId3v1Tags;
    TId3v2Tags FId3v2Tags;
    TAPEv2Tags FAPEv2Tags;
    TCommonTags FCommonTags;
};

class TAuTaggedFileOut : public TAuFileOut {
public:
    explicit TAuTaggedFileOut(TComponent* AOwner) : TAuFileOut(AOwner) {}

    TId3v1Tags& Id3v1Tags() { return FId3v1Tags; }
    TId3v2Tags& Id3v2Tags() { return FId3v2Tags; }
    TAPEv2Tags& APEv2Tags() { return FAPEv2Tags; }
    void SetId3v1Tags(const TId3v1Tags& Value) { FId3v1Tags.Assign(Value); }
    void SetId3v2Tags(const TId3v2Tags& Value) { FId3v2Tags.Assign(Value); }

protected:
    TId3v1Tags FId3v1Tags;
    TId3v2Tags FId3v2Tags;
    TAPEv2Tags FAPEv2Tags;
};

} // namespace sundral
