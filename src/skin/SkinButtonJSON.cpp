#include "skin/SkinButtonJSON.h"

#include <QBuffer>
#include <QFile>

#include "skin/OrvPicture.h"
#include "skin/OrvSkinManager.h"
#include "skin/SkinButton.h"
#include "support/KSUtils.h"
#include "support/_OrvJSON.h"

namespace kestrum {

namespace {

struct TPictureSlot {
    const char* Key;
    const TOrvPicture& (TSkinButton::*Get)() const;
    TOrvPicture& (TSkinButton::*Field)();
};

// In the document's member order.
const TPictureSlot kPictures[] = {
    {"pic_normal", &TSkinButton::PicNormal, &TSkinButton::PicNormalRef},
    {"pic_disabled", &TSkinButton::PicDisabled, &TSkinButton::PicDisabledRef},
    {"pic_mouse_hover", &TSkinButton::PicMouseHover, &TSkinButton::PicMouseHoverRef},
    {"pic_mouse_down", &TSkinButton::PicMouseDown, &TSkinButton::PicMouseDownRef},
};

// Decodes the hexadecimal text and loads the picture through a temporary file named after the format the
// bytes start with (".tmp" when none is recognised, which no picture loads from).
void LoadPicture(TOrvPicture& picture, const QString& hex) {
    QBuffer bytes;
    bytes.open(QIODevice::ReadWrite);
    HexToStream(hex, &bytes);
    QString extension = TOrvPicture::ExtensionOf(TOrvPicture::FormatFromCode(DetectPictureFormat(bytes)));

    QString path = MakeTempFileName(QString(), extension);
    QFile file(path);
    // NewOnly: the name was free a moment ago; never write through a file or link that appeared since.
    bool created = !path.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    bool written = created && file.write(bytes.data()) == bytes.size() && file.flush();
    if (!written) {
        QString reason = file.errorString();
        file.close();
        if (created) QFile::remove(path);
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason).toStdString());
    }
    file.close();
    bool loaded = picture.LoadFromFile(path);
    QFile::remove(path);
    if (!loaded) throw EInvalidGraphic(picture.LastError().toStdString());
}

} // namespace

void SaveToJSON(const TSkinButton& button, TJSONObject* document, const QString& key) {
    if (!document) return;
    TJSONValuePtr state(new TJSONObject());
    auto& o = static_cast<TJSONObject&>(*state);
    o.StoreBool(QStringLiteral("visible"), button.Visible());
    o.StoreInt(QStringLiteral("pos_x"), button.PosX());
    o.StoreInt(QStringLiteral("pos_y"), button.PosY());
    for (const TPictureSlot& slot : kPictures) {
        const TOrvPicture& picture = (button.*slot.Get)();
        if (!picture.HasGraphic()) continue;
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        picture.SaveToStream(stream);
        o.StoreText(QString::fromLatin1(slot.Key), StreamToHex(stream));
    }
    document->StoreValue(key, std::move(state));
}

void LoadFromJSON(TSkinButton& button, const TJSONObject* document, const QString& key) {
    button.Reset(); // the raw fields: loading runs no layout
    if (!document || document->IsNullAt(key)) return;
    const TJSONObject& state = document->FetchObject(key);
    if (state.HasKey(QStringLiteral("visible"))) button.VisibleRef() = state.FetchBool(QStringLiteral("visible"));
    if (state.HasKey(QStringLiteral("pos_x"))) button.PosXRef() = state.FetchInt(QStringLiteral("pos_x"));
    if (state.HasKey(QStringLiteral("pos_y"))) button.PosYRef() = state.FetchInt(QStringLiteral("pos_y"));
    for (const TPictureSlot& slot : kPictures) {
        QString name = QString::fromLatin1(slot.Key);
        if (state.HasKey(name)) LoadPicture((button.*slot.Field)(), state.FetchText(name));
    }
}

TJSONObject* SkinDocumentOf(const TOrvSkinManager& manager) {
    // Only SetSkinDocument stores a document, so the pointer always is a TJSONObject.
    return static_cast<TJSONObject*>(manager.SkinDocument.get());
}

void SetSkinDocument(TOrvSkinManager& manager, std::shared_ptr<TJSONObject> document) {
    manager.SkinDocument = std::move(document);
}

void SaveToJSON(const TSkinButton& button, const QString& key) {
    if (button.Manager()) SaveToJSON(button, SkinDocumentOf(*button.Manager()), key);
}

void LoadFromJSON(TSkinButton& button, const QString& key) {
    LoadFromJSON(button, button.Manager() ? SkinDocumentOf(*button.Manager()) : nullptr, key);
}

} // namespace kestrum
