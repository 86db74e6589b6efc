// The APEv2 tag set: a property bag with the APEv2 item names as keys, all created
// unassigned. It has no file operations of its own (the base ones only check the handle).
//
// Threading and ownership as for every tag set (AuTagsBase.h).
#pragma once

#include <string>

#include "formats/AuTagsBase.h"

namespace sundral {

class TAPEv2Tags : public TAuTags {
public:
    TAPEv2Tags();

    std::u16string Artist() const { return AsWideString("Artist"); }
    void SetArtist(const std::u16string& Value) { SetWideString("Artist", Value); }
    std::u16string Composer() const { return AsWideString("Composer"); }
    void SetComposer(const std::u16string& Value) { SetWideString("Composer", Value); }
    std::u16string Album() const { return AsWideString("Album"); }
    void SetAlbum(const std::u16string& Value) { SetWideString("Album", Value); }
    std::u16string DebutAlbum() const { return AsWideString("Debut album"); }
    void SetDebutAlbum(const std::u16string& Value) { SetWideString("Debut album", Value); }
    std::u16string Publisher() const { return AsWideString("Publisher"); }
    void SetPublisher(const std::u16string& Value) { SetWideString("Publisher", Value); }
    std::u16string Conductor() const { return AsWideString("Conductor"); }
    void SetConductor(const std::u16string& Value) { SetWideString("Conductor", Value); }
    std::u16string Copyright() const { return AsWideString("Copyright"); }
    void SetCopyright(const std::u16string& Value) { SetWideString("Copyright", Value); }
    std::string ISBN() const { return AsString("ISBN"); }
    void SetISBN(const std::string& Value) { SetString("ISBN", Value); }
    std::string ISRC() const { return AsString("ISRC"); }
    void SetISRC(const std::string& Value) { SetString("ISRC", Value); }
    std::string BarCode() const { return AsString("EAN/UPC"); }
    void SetBarCode(const std::string& Value) { SetString("EAN/UPC", Value); }
    std::string LabelCode() const { return AsString("LC"); }
    void SetLabelCode(const std::string& Value) { SetString("LC", Value); }
    std::string Catalog() const { return AsString("Catalog"); }
    void SetCatalog(const std::string& Value) { SetString("Catalog", Value); }
    std::u16string Language() const { return AsWideString("Language"); }
    void SetLanguage(const std::u16string& Value) { SetWideString("Language", Value); }
    std::u16string Genre() const { return AsWideString("Genre"); }
    void SetGenre(const std::u16string& Value) { SetWideString("Genre", Value); }
    // Read as the wide text converted to narrow (the same UTF-8 text AsString gives).
    std::string Year() const { return AsString("Year"); }
    void SetYear(const std::string& Value) { SetString("Year", Value); }
    std::string RecordDate() const { return AsString("Record Date"); }
    void SetRecordDate(const std::string& Value) { SetString("Record Date", Value); }
    std::u16string RecordLocation() const { return AsWideString("Record Location"); }
    void SetRecordLocation(const std::u16string& Value) { SetWideString("Record Location", Value); }
    std::u16string File_() const { return AsWideString("File"); }
    void SetFile_(const std::u16string& Value) { SetWideString("File", Value); }
    std::u16string Related() const { return AsWideString("Related"); }
    void SetRelated(const std::u16string& Value) { SetWideString("Related", Value); }
    std::u16string Abstract() const { return AsWideString("Abstract"); }
    void SetAbstract(const std::u16string& Value) { SetWideString("Abstract", Value); }
    std::u16string Bibliography() const { return AsWideString("Bibliography"); }
    void SetBibliography(const std::u16string& Value) { SetWideString("Bibliography", Value); }
    std::string Track() const { return AsString("Track"); }
    void SetTrack(const std::string& Value) { SetString("Track", Value); }
    std::u16string Title() const { return AsWideString("Title"); }
    void SetTitle(const std::u16string& Value) { SetWideString("Title", Value); }
    std::u16string SubTitle() const { return AsWideString("Subtitle"); }
    void SetSubTitle(const std::u16string& Value) { SetWideString("Subtitle", Value); }
    std::u16string Comment() const { return AsWideString("Comment"); }
    void SetComment(const std::u16string& Value) { SetWideString("Comment", Value); }
};

} // namespace sundral
