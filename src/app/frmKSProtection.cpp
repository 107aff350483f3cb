#include "app/frmKSProtection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include "app/KSDialogSkin.h"
#include "engine/MemoryOptimize.h"
#include "engine/ProtectionModel.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvColor.h"
#include "skin/OrvSkinManager.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {
constexpr int kWidth = 640, kHeight = 470;

// Right-aligned numbers that sort as numbers.
class TNumberItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int c = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant a = data(c, Qt::UserRole), b = other.data(c, Qt::UserRole);
        if (a.isValid() && b.isValid()) return a.toULongLong() < b.toULongLong();
        return text(c).compare(other.text(c), Qt::CaseInsensitive) < 0;
    }
};

QString Mb(uint64_t bytes) {
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}
} // namespace

TFormKSProtection::TFormKSProtection(QWidget* owner, TOrvMultiLangs* langs, TMemoryOptimize& engine)
    : QDialog(owner), FLangs(langs), FEngine(engine) {
    setObjectName(u"FormKSProtection"_qs);
    setFixedSize(kWidth, kHeight);
    QFont f(u"Tahoma"_qs);
    f.setPointSize(8);
    setFont(f);
    SkinMgr = new TOrvSkinManager(this);
    SkinMgr->setObjectName(u"SkinMgr"_qs);
    BuildControls();
    ArrangeDialogSkin(*SkinMgr, *this);
    ApplyLanguage();
    Refresh();
    if (QWidget* o = parentWidget(); o && o->isVisible() && !o->isMinimized())
        move(o->x() + (o->width() - width()) / 2, o->y() + (o->height() - height()) / 2);
    else if (QScreen* s = o ? o->screen() : screen())
        move(s->availableGeometry().center() - rect().center());
}

TFormKSProtection::~TFormKSProtection() = default;

void TFormKSProtection::BuildControls() {
    const TKSProtectionSettings settings = TKSProtectionSettings::Load();
    auto label = [this](const char* name, int x, int y) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText); // pack texts are never markup
        l->move(x, y);
        return l;
    };
    lblMode = label("lblMode", 20, 38);
    cbbMode = new QComboBox(this);
    cbbMode->setObjectName(u"cbbMode"_qs);
    cbbMode->setGeometry(20, 56, 600, 22);
    for (int i = 0; i < 4; ++i) cbbMode->addItem(QString());
    // Shown in the order a user thinks of them; the item data is the engine's mode number.
    const int modes[] = {TMemoryOptimize::MODE_SMART, TMemoryOptimize::MODE_NOT_WHITE, TMemoryOptimize::MODE_BLACK,
                         TMemoryOptimize::MODE_ALL};
    for (int i = 0; i < 4; ++i) cbbMode->setItemData(i, modes[i]);
    cbbMode->setCurrentIndex(std::max(0, cbbMode->findData(int(settings.SelectionMode))));

    auto check = [this](const char* name, int x, int y, int w, bool on) {
        auto* c = new QCheckBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(x, y, w, 18);
        c->setChecked(on);
        return c;
    };
    chkGames = check("chkProtectGames", 20, 84, 290, settings.ProtectGames);
    chkFullScreen = check("chkProtectFullScreen", 320, 84, 300, settings.ProtectFullScreen);
    chkForeground = check("chkProtectForeground", 20, 104, 600, settings.ProtectForeground);

    lvPrograms = new QTreeWidget(this);
    lvPrograms->setObjectName(u"lvPrograms"_qs);
    lvPrograms->setGeometry(20, 130, 600, 234);
    lvPrograms->setColumnCount(5);
    lvPrograms->setRootIsDecorated(false);
    lvPrograms->setUniformRowHeights(true);
    lvPrograms->setSelectionMode(QAbstractItemView::SingleSelection);
    lvPrograms->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPrograms->setAllColumnsShowFocus(true);
    lvPrograms->setSortingEnabled(true);
    lvPrograms->sortByColumn(2, Qt::DescendingOrder); // the biggest first
    lvPrograms->header()->setStretchLastSection(true);
    const int widths[] = {160, 65, 105, 105};
    for (int i = 0; i < 4; ++i) lvPrograms->setColumnWidth(i, widths[i]);
    connect(lvPrograms, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (QTreeWidgetItem* item = lvPrograms->currentItem()) edtName->setText(item->text(0));
    });

    lblName = label("lblName", 20, 374);
    edtName = new QLineEdit(this);
    edtName->setObjectName(u"edtName"_qs);
    edtName->setGeometry(20, 392, 170, 23);
    edtName->setMaxLength(255);
    auto button = [this](const char* name, int x, int y, int w) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, w, 25);
        b->setAutoDefault(false);
        return b;
    };
    btnNeverTrim = button("btnNeverTrim", 198, 391, 120);
    btnTrimOnly = button("btnTrimOnly", 322, 391, 120);
    btnRemove = button("btnRemove", 446, 391, 100);
    btnRefresh = button("btnRefresh", 550, 391, 70);
    connect(btnNeverTrim, &QPushButton::clicked, this, [this] { btnNeverTrimClick(); });
    connect(btnTrimOnly, &QPushButton::clicked, this, [this] { btnTrimOnlyClick(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
    connect(btnRefresh, &QPushButton::clicked, this, [this] { Refresh(); });

    lblStatus = label("lblStatus", 20, 432);
    lblStatus->setFixedWidth(400);
    btnOK = button("btnOK", 460, 428, 75);
    btnCancel = button("btnCancel", 545, 428, 75);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The table follows the choices at once, before they are confirmed.
    connect(cbbMode, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    for (QCheckBox* c : {chkGames, chkFullScreen, chkForeground})
        connect(c, &QCheckBox::toggled, this, [this] { Refresh(); });
}

QString TFormKSProtection::Text(const char* key) const {
    return FLangs ? FLangs->GetText(u"FormKSProtection."_qs + QString::fromLatin1(key)) : QString();
}

QString TFormKSProtection::ReasonText(int reason) const {
    static const char* const keys[] = {"Reason.None",       "Reason.NeverTrim", "Reason.Game",     "Reason.FullScreen",
                                       "Reason.Foreground", "Reason.MostUsed",  "Reason.NotListed"};
    return reason >= 0 && reason < 7 ? Text(keys[reason]) : QString();
}

void TFormKSProtection::ApplyLanguage() {
    const QString caption = Text("Caption");
    SkinMgr->Title().SetText(caption);
    setWindowTitle(caption);
    lblMode->setText(Text("lblMode.Caption"));
    for (int i = 0; i < 4; ++i) cbbMode->setItemText(i, Text(qPrintable(u"cbbMode.Items[%1]"_qs.arg(i))));
    chkGames->setText(Text("chkProtectGames.Caption"));
    chkFullScreen->setText(Text("chkProtectFullScreen.Caption"));
    chkForeground->setText(Text("chkProtectForeground.Caption"));
    QStringList columns;
    for (int i = 0; i < 5; ++i) columns << Text(qPrintable(u"lvPrograms.Columns[%1]"_qs.arg(i)));
    lvPrograms->setHeaderLabels(columns);
    lblName->setText(Text("lblName.Caption"));
    btnNeverTrim->setText(Text("btnNeverTrim.Caption"));
    btnTrimOnly->setText(Text("btnTrimOnly.Caption"));
    btnRemove->setText(Text("btnRemove.Caption"));
    btnRefresh->setText(Text("btnRefresh.Caption"));
    btnOK->setText(Text("btnOK.Caption"));
    btnCancel->setText(Text("btnCancel.Caption"));
    for (QLabel* l : {lblMode, lblName}) l->adjustSize();
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{chkGames, chkFullScreen, chkForeground})
        b->setToolTip(b->text());
    Refresh();
}

void TFormKSProtection::Refresh() {
    const QString selected = lvPrograms->currentItem() ? lvPrograms->currentItem()->text(0) : QString();
    const int sortColumn = lvPrograms->header()->sortIndicatorSection();
    const Qt::SortOrder order = lvPrograms->header()->sortIndicatorOrder();
    lvPrograms->setSortingEnabled(false);
    lvPrograms->clear();
    // As the next run would see them with the choices shown here (not yet confirmed).
    const TKSProtectionSettings chosen = Chosen();
    const auto programs =
        TProtectionModel::Programs(FEngine, FEngine.Processes(), chosen.SelectionMode,
                                   {chosen.ProtectGames, chosen.ProtectFullScreen, chosen.ProtectForeground});
    const QStringList only = FEngine.BlackList();
    for (const auto& p : programs) {
        auto* item = new TNumberItem(lvPrograms);
        item->setText(0, p.Name);
        item->setToolTip(0, p.AppId.isEmpty() ? p.Name : p.Name + u" ("_qs + p.AppId + u')');
        item->setText(1, QString::number(p.Processes));
        item->setData(1, Qt::UserRole, qulonglong(p.Processes));
        item->setText(2, Mb(p.Resident));
        item->setData(2, Qt::UserRole, qulonglong(p.Resident));
        item->setText(3, Mb(p.Swapped));
        item->setData(3, Qt::UserRole, qulonglong(p.Swapped));
        QString reason = ReasonText(static_cast<int>(p.Reason));
        // A program on the trim-only list says so even when the mode does not use the list.
        if (p.Reason == TProtectionReason::None && TMemoryOptimize::NameListContains(only, p.Name))
            reason = Text("Reason.TrimOnly");
        item->setText(4, reason);
        for (int c = 1; c <= 3; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    lvPrograms->setSortingEnabled(true);
    lvPrograms->sortByColumn(sortColumn, order);
    if (!selected.isEmpty()) {
        const auto found = lvPrograms->findItems(selected, Qt::MatchExactly, 0);
        if (!found.isEmpty()) lvPrograms->setCurrentItem(found.first());
    }
}

QString TFormKSProtection::CurrentName() const {
    QString name = edtName->text().trimmed();
    if (name.isEmpty() && lvPrograms->currentItem()) name = lvPrograms->currentItem()->text(0);
    return name;
}

void TFormKSProtection::ShowStatus(const QString& text) {
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
}

namespace {
// A list entry is a key of an INI file: no line breaks, no "=", no section or comment start.
bool ValidEntry(const QString& name) {
    if (name.isEmpty() || name.size() > 255 || name.startsWith(u'[') || name.startsWith(u';') || name.contains(u'=') ||
        name.contains(u'/'))
        return false;
    for (QChar c : name)
        if (c.unicode() < 0x20) return false;
    return true;
}
} // namespace

void TFormKSProtection::btnNeverTrimClick() {
    const QString name = CurrentName();
    if (!ValidEntry(name)) {
        ShowStatus(Text("Status.BadName"));
        return;
    }
    // On one list at a time: never trimming and trimming only it contradict each other.
    FEngine.RemoveListItem(TMemoryOptimize::LIST_BLACK, name);
    const bool ok = FEngine.WhiteList().contains(name, Qt::CaseInsensitive) ||
                    FEngine.AddListItem(TMemoryOptimize::LIST_WHITE, name);
    ShowStatus(ok ? FLangs->FormatText(u"FormKSProtection.Status.NeverTrim"_qs, {name}) : Text("Status.NotWritten"));
    Refresh();
}

void TFormKSProtection::btnTrimOnlyClick() {
    const QString name = CurrentName();
    if (!ValidEntry(name)) {
        ShowStatus(Text("Status.BadName"));
        return;
    }
    FEngine.RemoveListItem(TMemoryOptimize::LIST_WHITE, name);
    const bool ok = FEngine.BlackList().contains(name, Qt::CaseInsensitive) ||
                    FEngine.AddListItem(TMemoryOptimize::LIST_BLACK, name);
    ShowStatus(ok ? FLangs->FormatText(u"FormKSProtection.Status.TrimOnly"_qs, {name}) : Text("Status.NotWritten"));
    Refresh();
}

void TFormKSProtection::btnRemoveClick() {
    const QString name = CurrentName();
    if (name.isEmpty()) return;
    const bool white = FEngine.RemoveListItem(TMemoryOptimize::LIST_WHITE, name);
    const bool black = FEngine.RemoveListItem(TMemoryOptimize::LIST_BLACK, name);
    ShowStatus(FLangs->FormatText(
        white || black ? u"FormKSProtection.Status.Removed"_qs : u"FormKSProtection.Status.NotListed"_qs, {name}));
    Refresh();
}

TKSProtectionSettings TFormKSProtection::Chosen() const {
    TKSProtectionSettings s;
    s.SelectionMode = static_cast<uint8_t>(cbbMode->currentData().toInt());
    s.ProtectGames = chkGames->isChecked();
    s.ProtectFullScreen = chkFullScreen->isChecked();
    s.ProtectForeground = chkForeground->isChecked();
    return s;
}

void TFormKSProtection::btnOKClick() {
    const TKSProtectionSettings s = Chosen();
    if (!s.Save()) {
        ShowStatus(Text("Status.NotWritten"));
        return;
    }
    accept();
}

} // namespace kestrum
