#include "app/KSProtection.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

#include "app/frmKSMain.h"
#include "app/frmKSProtection.h"
#include "app/pages/KSLogsPage.h"
#include "app/pages/KSOptimizePage.h"
#include "app/pages/KSRunProgramsView.h"
#include "desktop/GameModeGames.h"
#include "engine/MemoryOptimize.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

TKSProtection::TKSProtection(TFormKSMain& main) : QObject(&main), FMain(main) {
    setObjectName(u"KSProtection"_qs);
    // The session bus only where one is there: a bus must never be started (autolaunched) for this.
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (address.isEmpty() && !runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_qs))
        address = u"unix:path="_qs + runtime + u"/bus"_qs;
    FGames = new TGameModeGames(address.isEmpty() ? QDBusConnection(u"kestrum-no-bus"_qs)
                                                  : QDBusConnection::connectToBus(address, u"kestrum-gamemode"_qs),
                                this);
    FMain.KSCore()->AutoProtection().SetGameSource([games = QPointer<TGameModeGames>(FGames), raw = FGames]() {
        // Games() locks; the object lives as long as the main window, which outlives every run.
        return games ? raw->Games() : std::vector<uint32_t>();
    });
    Apply(TKSProtectionSettings::Load());

    if (auto* menu = FMain.findChild<QMenu*>(u"pmMain"_qs)) {
        QAction* first = menu->actions().value(1); // after the settings
        mniMainProtection = new QAction(menu);
        mniMainProtection->setObjectName(u"mniMainProtection"_qs);
        menu->insertAction(first, mniMainProtection);
        connect(mniMainProtection, &QAction::triggered, this, &TKSProtection::ShowDialog);
    }
    if (TKSOptimizePage* page = FMain.OptimizePage()) {
        lblOptimizeProtection = new QLabel(page);
        lblOptimizeProtection->setObjectName(u"lblOptimizeProtection"_qs);
        lblOptimizeProtection->setTextFormat(Qt::PlainText);
        QFont link = lblOptimizeProtection->font();
        link.setUnderline(true);
        lblOptimizeProtection->setFont(link);
        QPalette blue = lblOptimizeProtection->palette();
        blue.setColor(QPalette::WindowText, Qt::blue);
        lblOptimizeProtection->setPalette(blue);
        lblOptimizeProtection->setCursor(Qt::PointingHandCursor);
        lblOptimizeProtection->installEventFilter(this);
        connect(lblOptimizeProtection, &QObject::destroyed, this, [this] { lblOptimizeProtection = nullptr; });
        page->installEventFilter(this); // placed at the bottom right whenever the page is laid out
    }
    if (TKSLogsPage* logs = FMain.LogsPage()) FRunPrograms = new TKSRunProgramsView(*logs);
    if (TOrvMultiLangs* langs = FMain.MultiLangs())
        connect(langs, &TOrvMultiLangs::OnLanguageChanged, this, &TKSProtection::ApplyLanguage);
    ApplyLanguage();
}

void TKSProtection::Apply(const TKSProtectionSettings& s) {
    TMemoryOptimize* engine = FMain.KSCore();
    engine->SetSelectionMode(s.SelectionMode);
    engine->AutoProtection().SetProtectGames(s.ProtectGames);
    engine->AutoProtection().SetProtectFullScreen(s.ProtectFullScreen);
    engine->AutoProtection().SetProtectForeground(s.ProtectForeground);
}

void TKSProtection::ApplyLanguage() {
    TOrvMultiLangs* langs = FMain.MultiLangs();
    if (!langs) return;
    if (mniMainProtection) mniMainProtection->setText(langs->GetText(u"FormKSMain.mniMainProtection.Caption"_qs));
    if (lblOptimizeProtection) {
        lblOptimizeProtection->setText(langs->GetText(u"FormKSMain.lblOptimizeProtection.Caption"_qs));
        lblOptimizeProtection->adjustSize();
        PlaceLink();
    }
    if (FRunPrograms) FRunPrograms->ApplyLanguage(*langs);
    if (FDialog) FDialog->ApplyLanguage();
}

void TKSProtection::ShowDialog() {
    if (FDialog) {
        FDialog->raise();
        FDialog->activateWindow();
        return;
    }
    auto* dialog = new TFormKSProtection(&FMain, FMain.MultiLangs(), *FMain.KSCore());
    FDialog = dialog;
    if (dialog->exec() == QDialog::Accepted) Apply(dialog->Chosen());
    delete dialog;
}

void TKSProtection::PlaceLink() {
    // Bottom right of the page, clear of the checklist.
    QWidget* page = lblOptimizeProtection->parentWidget();
    lblOptimizeProtection->move(page->width() - lblOptimizeProtection->width() - 20,
                                page->height() - lblOptimizeProtection->height() - 12);
    lblOptimizeProtection->raise();
}

bool TKSProtection::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lblOptimizeProtection && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        ShowDialog();
    if (lblOptimizeProtection && watched == lblOptimizeProtection->parentWidget() && e->type() == QEvent::Resize)
        PlaceLink();
    return QObject::eventFilter(watched, e);
}

} // namespace kestrum
