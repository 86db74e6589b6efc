#include "platform/taglibTags.h"

#include <mutex>

#include "platform/libload.h"

namespace sundral {

namespace {

bool Complete(const libload::TTagLibApi& T) {
    return T.taglib_set_strings_unicode && T.taglib_id3v2_set_default_text_encoding &&
           T.taglib_file_new_type && T.taglib_file_tag && T.taglib_file_is_valid &&
           T.taglib_tag_set_title && T.taglib_tag_set_artist && T.taglib_tag_set_album &&
           T.taglib_tag_set_genre && T.taglib_tag_set_year && T.taglib_tag_set_track &&
           T.taglib_file_save && T.taglib_file_free;
}

} // namespace

bool TagLibAvailable() {
    return Complete(libload::LoadTagLib());
}

TTagLibResult TagLibWriteTags(const std::string& Path, const TTagLibFields& Fields) {
    const libload::TTagLibApi& t = libload::LoadTagLib();
    if (!Complete(t)) return TTagLibResult::trNotLoaded;
    std::lock_guard guard(libload::TagLibLock());
    t.taglib_set_strings_unicode(1);
    t.taglib_id3v2_set_default_text_encoding(TagLib_ID3v2_UTF16);
    // By type, not by the name's extension: the writer may be writing under a temporary name.
    TagLib_File* file = t.taglib_file_new_type(Path.c_str(), TagLib_File_MPEG);
    if (file == nullptr) return TTagLibResult::trNotValid;
    TagLib_Tag* tag = t.taglib_file_is_valid(file) ? t.taglib_file_tag(file) : nullptr;
    if (tag == nullptr) {
        t.taglib_file_free(file);
        return TTagLibResult::trNotValid;
    }
    t.taglib_tag_set_title(tag, Fields.Title.c_str());
    t.taglib_tag_set_artist(tag, Fields.Artist.c_str());
    t.taglib_tag_set_album(tag, Fields.Album.c_str());
    t.taglib_tag_set_genre(tag, Fields.Genre.c_str());
    if (Fields.Year) t.taglib_tag_set_year(tag, *Fields.Year);
    if (Fields.Track) t.taglib_tag_set_track(tag, *Fields.Track);
    const bool saved = t.taglib_file_save(file) != 0;
    t.taglib_file_free(file);
    return saved ? TTagLibResult::trSaved : TTagLibResult::trNotSaved;
}

} // namespace sundral
