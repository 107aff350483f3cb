#include "i18n/OrvMultiLangs.h"

#include "support/DataFolder.h"
#include "support/IniFile.h"

#include <QFileInfo>
#include <QSet>

namespace kestrum {

namespace {

struct TEscape {
    const char16_t* Code;
    char16_t Char;
};
// Order matters: a "#" made by the first two takes part in the later ones ("##N" ends as a line feed).
constexpr TEscape Escapes[] = {
    {u"##", u'#'},        {u"#35", u'#'},       {u"#R", 13},           {u"#13", 13},
    {u"#N", 10},          {u"#10", 10},         {u"#B", u' '},         {u"#32", u' '},
    {u"#T", 9},           {u"#9", 9},           {u"#(C)", u'\u00A9'},  {u"#169", u'\u00A9'},
    {u"#(R)", u'\u00AE'}, {u"#174", u'\u00AE'}, {u"#(TM)", u'\u2122'}, {u"#8482", u'\u2122'},
};

// Key/value pairs of a section in file order; a key written twice counts once, with its first value,
// as a profile-file lookup of that key would give.
std::vector<std::pair<QString, QString>> SectionValues(const TIniFile& ini, const QString& section) {
    std::vector<std::pair<QString, QString>> values = ini.ReadSectionValues(section);
    for (auto& kv : values) kv.second.truncate(TIniFile::MaxValueLength);
    QSet<QString> seen;
    std::erase_if(values, [&seen](const auto& kv) {
        const QString folded = kv.first.toLower();
        if (seen.contains(folded)) return true;
        seen.insert(folded);
        return false;
    });
    return values;
}

} // namespace

TOrvMultiLangs::TOrvMultiLangs(QObject* owner) : QObject(owner) {}

TOrvMultiLangs::~TOrvMultiLangs() = default;

void TOrvMultiLangs::SetOnMakeDefault(THandler handler) {
    disconnect(FMakeDefaultLink);
    FMakeDefault = std::move(handler);
    if (!FMakeDefault) return;
    FMakeDefaultLink = connect(this, &TOrvMultiLangs::OnMakeDefault, this, FMakeDefault);
    ClearTables();
    FMakeDefault(this);
    if (FLanguageChanged) FLanguageChanged(this);
}

void TOrvMultiLangs::SetOnLanguageChanged(THandler handler) {
    disconnect(FLanguageChangedLink);
    FLanguageChanged = std::move(handler);
    if (!FLanguageChanged) return;
    FLanguageChangedLink = connect(this, &TOrvMultiLangs::OnLanguageChanged, this, FLanguageChanged);
    FLanguageChanged(this);
}

void TOrvMultiLangs::FireLanguageChanged() {
    emit OnLanguageChanged(this);
}

const TOrvLanguage* TOrvMultiLangs::Languages(int index) const {
    if (index < 0 || index >= LanguageCount()) return nullptr;
    return FLanguages[size_t(index)].get();
}

QString TOrvMultiLangs::DecodeText(const QString& text) {
    QString result = text;
    for (const TEscape& e : Escapes) {
        if (!result.contains(u'#')) break; // every code starts with "#"
        result.replace(QString::fromUtf16(e.Code), QString(QChar(e.Char)), Qt::CaseInsensitive);
    }
    return result;
}

void TOrvMultiLangs::AddText(const QString& key, const QString& text) {
    FTexts.AddValue(key, DecodeText(text));
}

void TOrvMultiLangs::AddFontRes(int number, const QString& name, unsigned style, int size, uint32_t color) {
    FFonts.AddFont(QString::number(number), new TOrvFontDesc(name, style, size, color));
}

void TOrvMultiLangs::AddFontSet(const QString& key, int number) {
    FFontSets.AddValue(key, QString::number(number));
}

QString TOrvMultiLangs::GetText(const QString& key) const {
    return FTexts.GetValue(key);
}

QString TOrvMultiLangs::FormatText(const QString& key, const TFormatArgs& args) const {
    return FormatTemplate(GetText(key), args);
}

const TOrvFontDesc* TOrvMultiLangs::GetFontRes(int number) const {
    return FFonts.GetFont(QString::number(number));
}

const TOrvFontDesc* TOrvMultiLangs::GetFontSet(const QString& key) const {
    bool ok = false;
    const int number = FFontSets.GetValue(key).toInt(&ok, 10);
    return ok ? GetFontRes(number) : nullptr;
}

void TOrvMultiLangs::ClearTables() {
    FTexts.Clear();
    FFonts.Clear();
    FFontSets.Clear();
}

// A pack replaces whatever the previous one put in: the table is the defaults and this pack, so it stays
// the same size however often the language changes.
void TOrvMultiLangs::ApplyPack(const QString& path) {
    ClearTables();
    if (FMakeDefault) emit OnMakeDefault(this);
    const TIniFile ini(path);
    for (const auto& [key, value] : SectionValues(ini, QStringLiteral("FONT_RES"))) {
        if (value.trimmed().isEmpty()) continue;
        FFonts.AddFont(key, new TOrvFontDesc(TOrvFontDesc::FromDescription(value)));
    }
    for (const auto& [key, value] : SectionValues(ini, QStringLiteral("FONT_SET"))) FFontSets.AddValue(key, value);
    for (const auto& [key, value] : SectionValues(ini, QStringLiteral("LANG_ITEMS"))) AddText(key, value);
}

// The mark is a convenience of the pack file, not part of the language: a pack that cannot be written (an
// installed, read-only one) still applies; the file stays as it was.
bool TOrvMultiLangs::WriteSelected(const TOrvLanguage& language, bool selected) {
    TIniFile ini(language.FileName);
    // A mark that is already right is not written again (a burst of changes would rewrite the files).
    if ((ini.ReadInteger(QStringLiteral("HEAD"), QStringLiteral("Selected"), 0) != 0) == selected &&
        ini.ValueExists(QStringLiteral("HEAD"), QStringLiteral("Selected")))
        return true;
    return ini.WriteString(QStringLiteral("HEAD"), QStringLiteral("Selected"),
                           selected ? QStringLiteral("1") : QStringLiteral("0"));
}

void TOrvMultiLangs::LoadLanguages(const QStringList& paths) {
    // The pack selected so far loses its mark when it is not among the new ones: one pack stays marked.
    if (FItemIndex >= 0 && FItemIndex < LanguageCount()) {
        const TOrvLanguage& previous = *FLanguages[size_t(FItemIndex)];
        if (previous.Selected && !paths.contains(previous.FileName)) WriteSelected(previous, false);
    }
    FItemIndex = -1;
    FLanguages.clear();
    if (paths.isEmpty()) return;
    bool anySelected = false;
    for (int i = 0; i < paths.size(); ++i) {
        auto language = std::make_unique<TOrvLanguage>();
        language->FileName = paths[i];
        const TIniFile ini(paths[i]);
        const QString head = QStringLiteral("HEAD");
        language->LCID = ini.ReadString(head, QStringLiteral("LCID"), QString());
        language->Code = ini.ReadString(head, QStringLiteral("Code"), QString());
        language->Name = ini.ReadString(head, QStringLiteral("Name"), QString());
        language->Selected = ini.ReadInteger(head, QStringLiteral("Selected"), 0) != 0;
        const bool selected = language->Selected;
        FLanguages.push_back(std::move(language));
        if (selected) {
            anySelected = true;
            FItemIndex = i;
            ApplyPack(paths[i]);
            FireLanguageChanged();
        }
    }
    if (!anySelected) {
        FItemIndex = 0;
        ApplyPack(paths[0]);
        FireLanguageChanged();
    }
}

void TOrvMultiLangs::SetItemIndex(int index) {
    if (index < 0 || index >= LanguageCount()) return;
    if (TOrvLanguage* old = FItemIndex >= 0 && FItemIndex < LanguageCount() && FItemIndex != index
                                ? FLanguages[size_t(FItemIndex)].get()
                                : nullptr) {
        old->Selected = false;
        WriteSelected(*old, false);
    }
    FItemIndex = index;
    TOrvLanguage& language = *FLanguages[size_t(index)];
    language.Selected = true;
    ApplyPack(language.FileName);
    WriteSelected(language, true);
    FireLanguageChanged();
}

void TOrvMultiLangs::LoadFromFile(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    // A pack in a folder another user controls could make us show anything; the defaults stay.
    if (!DataPathProblem(path).isEmpty()) return;
    LoadLanguages(QStringList{path});
    SetItemIndex(0);
}

} // namespace kestrum
