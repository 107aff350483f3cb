#include "app/pages/KSLogsPage.h"
#include "app/pages/KSRunProgramsView.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QTableView>
#include <QThreadPool>

#include "app/pages/KSGainsChart.h"
#include "app/pages/KSLogsModel.h"
#include "i18n/OrvMultiLangs.h"
#include "store/KSHistoryIndex.h"
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
        // The calendar's pop-up is made the first time it opens (making two calendars costs the start
        // more than the rest of the page); eventFilter watches it from its making on.
    }

    lblLogsDelete = MakeLabel(this, "lblLogsDelete", 0, 41);
    QFont link = lblLogsDelete->font();
    link.setUnderline(true);
    lblLogsDelete->setFont(link);
    lblLogsDelete->setCursor(Qt::PointingHandCursor);
    lblLogsDelete->setForegroundRole(QPalette::Link);
    lblLogsDelete->installEventFilter(this);

    lvLogsItems = new QTableView(this);
    lvLogsItems->setObjectName(u"lvLogsItems"_qs);
    // The chart of the range's gains above the list, which gives it the room.
    chtLogsGains = new TKSGainsChart(this);
    chtLogsGains->setGeometry(19, 60, 726, 100);
    lvLogsItems->setGeometry(19, 164, 726, 245);
    // A model over the day files: only the rows on screen are ever read, however long the history. A table
    // keeps a few bytes per row (a tree view keeps an item for every row: 70 MB for 1.8 million records).
    FModel = new TKSLogsModel(this);
    lvLogsItems->setModel(FModel);
    lvLogsItems->setShowGrid(false);
    lvLogsItems->setWordWrap(false);
    lvLogsItems->setCornerButtonEnabled(false);
    lvLogsItems->setTabKeyNavigation(false);
    lvLogsItems->verticalHeader()->hide();
    lvLogsItems->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvLogsItems->verticalHeader()->setDefaultSectionSize(lvLogsItems->fontMetrics().height() + 2);
    lvLogsItems->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvLogsItems->horizontalHeader()->setHighlightSections(false);
    lvLogsItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLogsItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvLogsItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvLogsItems->horizontalHeader()->setSectionsMovable(false);
    lvLogsItems->horizontalHeader()->setStretchLastSection(false);
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
    CancelLoad();
    if (FHistory && FHistory->View() == this) FHistory->SetView(nullptr);
}

void TKSLogsPage::SetHistory(TKSLogMgr* history) {
    if (FHistory && FHistory->View() == this) FHistory->SetView(nullptr);
    // The rows are made by the history they came from.
    if (history != FHistory) ClearRows();
    FHistory = history;
    if (FHistory) FHistory->SetView(this);
    chtLogsGains->SetFolder(FHistory ? FHistory->HistoryFolder() : QString());
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
    chtLogsGains->ApplyLanguage(langs);

    QStringList columns;
    for (int i = 0; i < 3; ++i) columns << langs.GetText(u"FormKSMain.lvLogsItems.Columns.Items[%1].Caption"_qs.arg(i));
    FModel->SetHeader(columns);

    const QSignalBlocker quiet(cbbLogsRange);
    cbbLogsRange->setUpdatesEnabled(false);
    // Again on a language change: the texts change, the chosen range (and so the list and pickers) stays.
    const bool first = cbbLogsRange->count() != 6;
    if (first) cbbLogsRange->clear();
    for (int i = 0; i < 6; ++i) {
        const QString item = langs.GetText(u"FormKSMain.cbbLogsRange.Items[%1]"_qs.arg(i));
        if (first)
            cbbLogsRange->addItem(item);
        else
            cbbLogsRange->setItemText(i, item);
    }
    if (first) cbbLogsRange->setCurrentIndex(0);
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
    if (!FHistory || FHistory->View() != this) return;
    chtLogsGains->Load(BeginDate(), EndDate());
    CancelLoad();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    FCancel = cancel;
    const uint64_t generation = ++FGeneration;
    FLoading = true;
    FAddedWhileLoading = false;
    const QString folder = FHistory->HistoryFolder();
    const QDate begin = BeginDate(), end = EndDate();
    QPointer<TKSLogsPage> self(this);
    QThreadPool::globalInstance()->start([self, cancel, generation, folder, begin, end]() {
        auto index = TKSHistoryIndex::Build(folder, begin, end, cancel.get());
        if (cancel->load()) return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, index]() {
                if (self) self->IndexReady(generation, index);
            },
            Qt::QueuedConnection);
    });
}

void TKSLogsPage::CancelLoad() {
    if (FCancel) FCancel->store(true);
    FCancel.reset();
    ++FGeneration;
    FLoading = false;
}

void TKSLogsPage::IndexReady(uint64_t generation, std::shared_ptr<const TKSHistoryIndex> index) {
    if (generation != FGeneration) return; // a later load replaced this one
    FCancel.reset();
    FLoading = false;
    TKSLogMgr* history = FHistory;
    const TDateTime loadTime = history ? history->Now() : 0;
    FModel->Reset(
        std::move(index),
        [history](const THistoryRecord& r) { return history ? history->MakeRow(r.Time, r.Fields) : THistoryRow{}; },
        loadTime);
    // A record written while the files were read may or may not be in the index: read them again.
    if (FAddedWhileLoading) {
        LoadHistoryView();
        return;
    }
    emit Loaded();
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
    chtLogsGains->Clear();
}

bool TKSLogsPage::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto inside = [watched](QDateTimeEdit* picker) { return watched == picker || watched->parent() == picker; };
        if (inside(dtpLogsBeginDate) && dtpLogsBeginDateKeyPress(key)) return true;
        if (inside(dtpLogsEndDate) && dtpLogsEndDateKeyPress(key)) return true;
    } else if (type == QEvent::ChildAdded && (watched == dtpLogsBeginDate || watched == dtpLogsEndDate)) {
        // The picker's only later child is its calendar pop-up, still being made here.
        if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
            child->installEventFilter(this);
    } else if (type == QEvent::Hide && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
        // The pop-up hides when the calendar closes up, whichever way the user closed it.
        if (watched->parent() == dtpLogsBeginDate) dtpLogsBeginDateCloseUp();
        if (watched->parent() == dtpLogsEndDate) dtpLogsEndDateCloseUp();
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
    CancelLoad();
    FModel->Clear();
}

void TKSLogsPage::InsertRowAtTop(const THistoryRow& row) {
    if (FLoading) FAddedWhileLoading = true;
    FModel->InsertAtTop(row);
}

void TKSLogsPage::BeginUpdate() {
    if (FUpdateDepth++ == 0) lvLogsItems->setUpdatesEnabled(false);
}

void TKSLogsPage::EndUpdate() {
    if (FUpdateDepth > 0 && --FUpdateDepth == 0) lvLogsItems->setUpdatesEnabled(true);
}

} // namespace kestrum
