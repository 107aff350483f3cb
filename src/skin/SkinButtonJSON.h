#pragma once
// The state of one skin button (visibility, position, the four pictures) as a member object of a skin
// document: {"visible":true,"pos_x":1,"pos_y":2,"pic_normal":"89504E47...",...}. A picture is stored as
// the bytes of its own file format in upper-case hexadecimal and is present only when it holds a graphic.
#include <QString>
#include <memory>
#include <stdexcept>

namespace kestrum {

class TJSONObject;
class TOrvSkinManager;
class TSkinButton;

// A picture text whose bytes cannot be loaded as a picture.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The temporary file a picture is loaded through cannot be created.
class EFCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the button's state under key, replacing an earlier value; does nothing without a document.
void SaveToJSON(const TSkinButton& button, TJSONObject* document, const QString& key);

// Resets the button (visible, position -1/-1, no pictures), then reads what the document holds under key.
// Values go straight into the button's fields: no layout pass runs. A value that is not an object raises
// NoSuchElementException, a member of the wrong type the JSON library's error, a text that is not
// hexadecimal EConvertError, and bytes that are no loadable picture EInvalidGraphic; the button then keeps
// the reset values and what was read before.
void LoadFromJSON(TSkinButton& button, const TJSONObject* document, const QString& key);

// The same with the skin document of the button's manager (none without a manager or document).
void SaveToJSON(const TSkinButton& button, const QString& key);
void LoadFromJSON(TSkinButton& button, const QString& key);

// The manager keeps its skin document type-erased; these are the typed way in and out.
TJSONObject* SkinDocumentOf(const TOrvSkinManager& manager);
void SetSkinDocument(TOrvSkinManager& manager, std::shared_ptr<TJSONObject> document);

} // namespace kestrum
