#include "app/pages/KSRunProgramsView.h"

#include <QEvent>
#include <QLabel>
#include <QTableView>

#include "app/pages/KSLogsModel.h"
#include "app/pages/KSLogsPage.h"
#include "i18n/OrvMultiLangs.h"
#include "store/KSRunPrograms.h"
#include "support/KSUtils.h"

namespace kestrum {

TKSRunProgramsView::TKSRunProgramsView(TKSLogsPage& page) : QObject(&page), FPage(page) {
    setObjectName(u"KSRunProgramsView"_qs);
    lblLogsPrograms = new QLabel(&page);
    lblLogsPrograms->setObjectName(u"lblLogsPrograms"_qs);
    lblLogsPrograms->setTextFormat(Qt::PlainText);
    lblLogsPrograms->hide();
    connect(page.List()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { Show(current); });
    // A new range or a new record replaces the rows under the selection.
    connect(page.List()->model(), &QAbstractItemModel::modelReset, this,
            [this] { Show(FPage.List()->currentIndex()); });
    connect(page.List()->model(), &QAbstractItemModel::rowsInserted, this,
            [this] { Show(FPage.List()->currentIndex()); });
    page.installEventFilter(this);
    page.List()->installEventFilter(this);
}

void TKSRunProgramsView::ApplyLanguage(TOrvMultiLangs& langs) {
    FTitle = langs.GetText(u"FormKSMain.lblLogsPrograms.Caption"_qs);
    FNone = langs.GetText(u"FormKSMain.lblLogsPrograms.None"_qs);
    FLangs = &langs;
    Show(FPage.List()->currentIndex());
}

QString TKSRunProgramsView::TextFor(const QString& programs) const {
    const auto list = TKSRunPrograms::Decode(programs);
    if (list.empty()) return FTitle + u' ' + FNone;
    QStringList parts;
    for (const auto& [name, bytes] : list)
        parts << (FLangs ? FLangs->FormatText(
                               u"FormKSMain.lblLogsPrograms.Item"_qs,
                               {name, QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1)})
                         : name);
    return FTitle + u' ' + parts.join(u", "_qs);
}

void TKSRunProgramsView::Show(const QModelIndex& index) {
    if (!index.isValid()) {
        lblLogsPrograms->hide();
        return;
    }
    const QString text = TextFor(index.siblingAtColumn(0).data(TKSLogsModel::FieldsRole).toStringList().value(2));
    lblLogsPrograms->setText(text);
    lblLogsPrograms->setToolTip(text);
    Place();
    lblLogsPrograms->show();
}

void TKSRunProgramsView::Place() {
    // A line just under the list, as wide as the list.
    const QRect list = FPage.List()->geometry();
    const int height = lblLogsPrograms->fontMetrics().height() + 2;
    lblLogsPrograms->setGeometry(list.left(), list.bottom() + 3, list.width(), height);
    lblLogsPrograms->raise();
}

bool TKSRunProgramsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move) Place();
    return QObject::eventFilter(watched, event);
}

} // namespace kestrum
