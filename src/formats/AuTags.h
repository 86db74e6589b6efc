// The tag sets in one include: TAuTags and TCommonTags (AuTagsBase.h), TId3v1Tags with the
// genre list (AuTagsId3v1.h), TId3v2Tags (AuTagsId3v2.h) and TAPEv2Tags (AuTagsAPEv2.h).
#pragma once

#include "formats/AuTagsAPEv2.h"
#include "formats/AuTagsBase.h"
#include "formats/AuTagsId3v1.h"
#include "formats/AuTagsId3v2.h"
