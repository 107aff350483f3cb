#pragma once
#include "i18n/OrvFontDesc.h"
#include "i18n/OrvFormat.h"
#include "i18n/OrvHashTable.h"
#include "i18n/OrvLanguage.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace kestrum {

// Every interface text and localized font, by key: the built-in defaults with the current language pack on
// top. Applying a pack replaces the previous one, so a key the pack leaves out has its default text.
class TOrvMultiLangs : public QObject {
    Q_OBJECT
public:
    using THandler = std::function<void(TOrvMultiLangs* sender)>;

    explicit TOrvMultiLangs(QObject* owner = nullptr);
    ~TOrvMultiLangs() override;

    QString FileExt() const { return FFileExt; }
    void SetFileExt(const QString& value) { FFileExt = value; }
    QString FilePrefix() const { return FFilePrefix; }
    void SetFilePrefix(const QString& value) { FFilePrefix = value; }

    // Assigning the defaults handler empties the table and runs the handler at once, then the
    // language-changed handler when there is one.
    void SetOnMakeDefault(THandler handler);
    // Assigning the language-changed handler runs it at once.
    void SetOnLanguageChanged(THandler handler);

    int ItemIndex() const { return FItemIndex; }
    // Selects a known pack: clears the old entry's "Selected" mark, applies the pack, marks it in its file
    // and fires OnLanguageChanged. An index out of range does nothing. A mark that cannot be written (a
    // read-only pack) is left out; the pack applies all the same and its file stays as it was.
    void SetItemIndex(int index);
    int LanguageCount() const { return int(FLanguages.size()); }
    const TOrvLanguage* Languages(int index) const;

    void AddText(const QString& key, const QString& text);
    void AddFontRes(int number, const QString& name, unsigned style, int size, uint32_t color);
    void AddFontSet(const QString& key, int number);

    // Empty for an unknown key.
    QString GetText(const QString& key) const;
    // The key's text filled with the arguments; empty when the template does not fit them.
    QString FormatText(const QString& key, const TFormatArgs& args) const;
    // Owned by the component; null when there is none.
    const TOrvFontDesc* GetFontRes(int number) const;
    const TOrvFontDesc* GetFontSet(const QString& key) const;

    // Applies an existing pack file (twice, firing OnLanguageChanged twice, as LoadLanguages then
    // SetItemIndex(0)); a missing file changes nothing.
    void LoadFromFile(const QString& path);
    void LoadLanguages(const QStringList& paths);

    // The sixteen escape replacements, in order, case-insensitive: "##", "#35", "#R", "#13", "#N", "#10",
    // "#B", "#32", "#T", "#9", "#(C)", "#169", "#(R)", "#174", "#(TM)", "#8482".
    static QString DecodeText(const QString& text);

signals:
    void OnMakeDefault(kestrum::TOrvMultiLangs* sender);
    void OnLanguageChanged(kestrum::TOrvMultiLangs* sender);

private:
    void ClearTables();
    void ApplyPack(const QString& path);
    bool WriteSelected(const TOrvLanguage& language, bool selected);
    void FireLanguageChanged();

    QString FFileExt = QStringLiteral("lng");
    QString FFilePrefix;
    int FItemIndex = -1;
    std::vector<std::unique_ptr<TOrvLanguage>> FLanguages;
    TOrvHashTable FTexts;
    TOrvHashTable FFonts;
    TOrvHashTable FFontSets;
    THandler FMakeDefault;
    THandler FLanguageChanged;
    QMetaObject::Connection FMakeDefaultLink;
    QMetaObject::Connection FLanguageChangedLink;
};

} // namespace kestrum
