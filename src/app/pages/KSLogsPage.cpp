#include "app/pages/KSLogsPage.h"
#include "app/pages/KSRunProgramsView.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTreeWidget>

#include "i18n/OrvMultiLangs.h"
#include "store/KSLogMgr.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

constexpr int kDaysBack[] = {0, 3, 7, 15, 30};

// The user's short date with a four-digit year: a two-digit year would make typed dates ambiguous.
QString PickerFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_qs)) format.replace(u"yy"_qs, u"yyyy"_qs);
    return format;
}

QDateTimeEdit* MakePicker(QWidget* parent, const char* name, int x) {
    auto* p = new QDateTimeEdit(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setGeometry(x, 33, 146, 21);
    p->setDisplayFormat(PickerFormat());
    p->setCalendarPopup(true);
    p->setEnabled(false);
    return p;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    return l;
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

int TKSLogsPage::RangeDaysBack(int index) {
    return index >= 0 && index < int(std::size(kDaysBack)) ? kDaysBack[index] : -1;
}

TKSLogsPage::TKSLogsPage(QWidget* parent) : QWidget(parent), FNow([] { return QDateTime::currentDateTime(); }) {
    setObjectName(QStringLiteral("tsLogs"));

    lblLogsRange = MakeLabel(this, "lblLogsRange", 19, 14);
    cbbLogsRange = new QComboBox(this);
    cbbLogsRange->setObjectName(u"cbbLogsRange"_qs);
    cbbLogsRange->setEditable(false);
    cbbLogsRange->setGeometry(19, 33, 246, 21);
    // Only a choice the user makes moves the pickers; the language change refills the box quietly.
    connect(cbbLogsRange, &QComboBox::activated, this, [this](int index) { cbbLogsRangeChange(index); });

    lblLogsBeginDate = MakeLabel(this, "lblLogsBeginDate", 271, 14);
    dtpLogsBeginDate = MakePicker(this, "dtpLogsBeginDate", 271);
    lblLogsEndDate = MakeLabel(this, "lblLogsEndDate", 423, 14);
    dtpLogsEndDate = MakePicker(this, "dtpLogsEndDate", 423);
    for (QDateTimeEdit* picker : {dtpLogsBeginDate, dtpLogsEndDate}) {
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, [this] { PickerChanged(); });
        picker->installEventFilter(this);
        // Keys may reach the editor inside the picker first.
        if (auto* edit = picker->findChild<QLineEdit*>()) edit->installEventFilter(this);
        // The calendar's pop-up hides when it closes up, whichever way the user closed it.
        if (QWidget* calendar = picker->calendarWidget()) calendar->installEventFilter(this);
    }

    lblLogsDelete = MakeLabel(this, "lblLogsDelete", 0, 41);
    QFont link = lblLogsDelete->font();
    link.setUnderline(true);
    lblLogsDelete->setFont(link);
    lblLogsDelete->setCursor(Qt::PointingHandCursor);
    lblLogsDelete->setForegroundRole(QPalette::Link);
    lblLogsDelete->installEventFilter(this);

    lvLogsItems = new QTreeWidget(this);
    lvLogsItems->setObjectName(u"lvLogsItems"_qs);
    lvLogsItems->setGeometry(19, 60, 726, 349);
    lvLogsItems->setColumnCount(3);
    lvLogsItems->setRootIsDecorated(false);
    lvLogsItems->setItemsExpandable(false);
    lvLogsItems->setUniformRowHeights(true);
    lvLogsItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLogsItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvLogsItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvLogsItems->setAllColumnsShowFocus(true);
    lvLogsItems->header()->setSectionsMovable(false);
    lvLogsItems->header()->setStretchLastSection(false);
    lvLogsItems->setColumnWidth(0, 150);
    lvLogsItems->setColumnWidth(1, 300);
    lvLogsItems->setColumnWidth(2, 250);
    // The selected row stays marked when the list loses the focus.
    QPalette pal = lvLogsItems->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    lvLogsItems->setPalette(pal);

    const QDateTime now = FNow();
    SetPickers(now.addDays(-3), now);
}

TKSLogsPage::~TKSLogsPage() {
    if (FHistory && FHistory->View() == this) FHistory->SetView(nullptr);
}

void TKSLogsPage::SetHistory(TKSLogMgr* history) {
    if (FHistory && FHistory->View() == this) FHistory->SetView(nullptr);
    FHistory = history;
    if (FHistory) FHistory->SetView(this);
}

void TKSLogsPage::SetNow(TNowFunc now) {
    FNow = now ? std::move(now) : TNowFunc([] { return QDateTime::currentDateTime(); });
}

void TKSLogsPage::ApplyLanguage(TOrvMultiLangs& langs) {
    FLangs = &langs;
    auto text = [&langs](const char16_t* key) { return langs.GetText(QString::fromUtf16(key)); };
    const std::pair<QLabel*, const char16_t*> labels[] = {
        {lblLogsRange, u"FormKSMain.lblLogsRange.Caption"},
        {lblLogsBeginDate, u"FormKSMain.lblLogsBeginDate.Caption"},
        {lblLogsEndDate, u"FormKSMain.lblLogsEndDate.Caption"},
        {lblLogsDelete, u"FormKSMain.lblLogsDelete.Caption"},
    };
    for (auto& [label, key] : labels) {
        label->setText(text(key));
        label->adjustSize();
    }
    PlaceDeleteLink();

    lvLogsItems->setUpdatesEnabled(false);
    QStringList columns;
    for (int i = 0; i < 3; ++i) columns << langs.GetText(u"FormKSMain.lvLogsItems.Columns.Items[%1].Caption"_qs.arg(i));
    lvLogsItems->setHeaderLabels(columns);
    lvLogsItems->setUpdatesEnabled(true);

    const QSignalBlocker quiet(cbbLogsRange);
    cbbLogsRange->setUpdatesEnabled(false);
    cbbLogsRange->clear();
    for (int i = 0; i < 6; ++i) cbbLogsRange->addItem(langs.GetText(u"FormKSMain.cbbLogsRange.Items[%1]"_qs.arg(i)));
    cbbLogsRange->setCurrentIndex(0);
    cbbLogsRange->setUpdatesEnabled(true);
}

void TKSLogsPage::PlaceDeleteLink() {
    // Right-aligned to x 745 above the list, whatever the length of the text.
    lblLogsDelete->move(745 - lblLogsDelete->width(), 41);
}

void TKSLogsPage::InitLogsRange() {
    {
        const QSignalBlocker quiet(cbbLogsRange);
        cbbLogsRange->setCurrentIndex(1);
    }
    SetPickersEnabled(false);
    const QDateTime now = FNow();
    SetPickers(now.addDays(-3), now);
    LoadHistoryView();
}

void TKSLogsPage::LoadHistoryView() {
    if (FHistory && FHistory->View() == this) FHistory->LoadHistoryView();
}

void TKSLogsPage::cbbLogsRangeChange(int index) {
    if (cbbLogsRange->currentIndex() != index) {
        const QSignalBlocker quiet(cbbLogsRange);
        cbbLogsRange->setCurrentIndex(index);
    }
    SetPickersEnabled(index == CustomRange);
    const int back = RangeDaysBack(index);
    // The custom range keeps the pickers' dates and the list until the user changes a date.
    if (back < 0) return;
    const QDateTime now = FNow();
    SetPickers(now.addDays(-back), now);
    LoadHistoryView();
}

void TKSLogsPage::SetPickers(const QDateTime& begin, const QDateTime& end) {
    FSettingPickers = true;
    dtpLogsBeginDate->setDateTime(begin);
    dtpLogsEndDate->setDateTime(end);
    FSettingPickers = false;
}

void TKSLogsPage::SetPickersEnabled(bool on) {
    dtpLogsBeginDate->setEnabled(on);
    dtpLogsEndDate->setEnabled(on);
}

// A date the user changed (typed, stepped, picked in the calendar): the list follows at once.
void TKSLogsPage::PickerChanged() {
    if (FSettingPickers) return;
    LoadHistoryView();
}

void TKSLogsPage::dtpLogsBeginDateCloseUp() {
    if (!dtpLogsBeginDate->isEnabled()) return;
    if (dtpLogsEndDate->date() < dtpLogsBeginDate->date()) {
        FSettingPickers = true;
        dtpLogsBeginDate->setDateTime(dtpLogsEndDate->dateTime());
        FSettingPickers = false;
    }
    LoadHistoryView();
}

void TKSLogsPage::dtpLogsEndDateCloseUp() {
    if (!dtpLogsEndDate->isEnabled()) return;
    if (dtpLogsBeginDate->date() > dtpLogsEndDate->date()) {
        FSettingPickers = true;
        dtpLogsEndDate->setDateTime(dtpLogsBeginDate->dateTime());
        FSettingPickers = false;
    }
    LoadHistoryView();
}

// Enter pulls a backwards range together and goes no further (no default button fires); other keys
// edit the date, and the list follows through PickerChanged.
bool TKSLogsPage::dtpLogsBeginDateKeyPress(int key) {
    if (!dtpLogsBeginDate->isEnabled() || !IsEnter(key)) return false;
    dtpLogsBeginDateCloseUp();
    return true;
}

bool TKSLogsPage::dtpLogsEndDateKeyPress(int key) {
    if (!dtpLogsEndDate->isEnabled() || !IsEnter(key)) return false;
    dtpLogsEndDateCloseUp();
    return true;
}

void TKSLogsPage::lblLogsDeleteClick() {
    const QString text = FLangs ? FLangs->GetText(u"String.MsgText.DeleteLogsQuery"_qs) : QString();
    const QString caption = FLangs ? FLangs->GetText(u"String.MsgTitle.Question"_qs) : QString();
    // Yes and No, question icon; 6 is Yes.
    if (ShowMessageBox(window(), text, caption, 36, FLanguageId) != 6) return;
    if (FHistory) FHistory->DeleteAllHistory();
    ClearRows();
}

bool TKSLogsPage::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto inside = [watched](QDateTimeEdit* picker) { return watched == picker || watched->parent() == picker; };
        if (inside(dtpLogsBeginDate) && dtpLogsBeginDateKeyPress(key)) return true;
        if (inside(dtpLogsEndDate) && dtpLogsEndDateKeyPress(key)) return true;
    } else if (type == QEvent::Hide) {
        if (watched == dtpLogsBeginDate->calendarWidget()) dtpLogsBeginDateCloseUp();
        if (watched == dtpLogsEndDate->calendarWidget()) dtpLogsEndDateCloseUp();
    } else if (type == QEvent::MouseButtonRelease && watched == lblLogsDelete) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && lblLogsDelete->rect().contains(e->position().toPoint()))
            lblLogsDeleteClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QDate TKSLogsPage::BeginDate() const {
    return dtpLogsBeginDate->date();
}

QDate TKSLogsPage::EndDate() const {
    return dtpLogsEndDate->date();
}

void TKSLogsPage::ClearRows() {
    lvLogsItems->clear();
}

void TKSLogsPage::InsertRowAtTop(const THistoryRow& row) {
    auto* item = new QTreeWidgetItem(QStringList{row.TimeText, row.Operation, row.Result});
    item->setData(0, TKSRunProgramsView::ProgramsRole, row.Programs);
    lvLogsItems->insertTopLevelItem(0, item);
}

void TKSLogsPage::BeginUpdate() {
    if (FUpdateDepth++ == 0) lvLogsItems->setUpdatesEnabled(false);
}

void TKSLogsPage::EndUpdate() {
    if (FUpdateDepth > 0 && --FUpdateDepth == 0) lvLogsItems->setUpdatesEnabled(true);
}

} // namespace kestrum
