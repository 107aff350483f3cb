#include "i18n/KSLangDefaults.h"

#include "i18n/OrvFontDesc.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t Black = 0x000000;

constexpr TLangFontRes FontRes[] = {
    {0, u"Tahoma", fsBold, 12, White},
    {1, u"Tahoma", fsBold, 10, White},
    {2, u"Tahoma", fsBold, 12, Black},
};

constexpr TLangFontSet FontSets[] = {
    {u"FormKSMain.SkinMgr.Title.Font", 0},       {u"FormKSMain.btnTabOverView.Font", 1},
    {u"FormKSMain.btnTabOptimize.Font", 1},      {u"FormKSMain.btnTabUpgrade.Font", 1},
    {u"FormKSMain.btnOverviewOptimize.Font", 1}, {u"FormKSMain.btnOptimize.Font", 1},
    {u"FormKSMain.lblOptimize.Font", 1},         {u"FormKSAbout.SkinMgr.Title.Font", 1},
    {u"FormKSAbout.lblTitle.Font", 2},           {u"FormKSSettings.SkinMgr.Title.Font", 1},
};

// One text; its first line break is "#N#R", the later ones "#N" alone.
constexpr const char16_t* AboutDescription =
    u"\"Kestrum\" offers user a smart and efficient feature of memory optimizing, it can optimize memory properly and "
    u"efficiently, and help system run smoothly.#N#RIt can do as follow:#N1. Display current usage of memory resource "
    u"on an easy to read graph;#N2. Monitor memory resource in background, and smart memory optimization; #N3. "
    u"One-click optimizing and convenient hotkey operations;#N4. \"Do-Not-Disturb\" setting for when users are "
    u"enjoying a game or movie.";

constexpr TLangText Texts[] = {
    {u"String.Copyright", u"Copyright #(C) 2026 The Kestrum developers. All rights reserved."},
    // The project has no site: empty addresses send the home page to the installed help page.
    {u"String.URL.Home", u""},
    {u"String.URL.Help", u""},
    {u"String.Help.Topic", u"::/Bramblin_help/utility/memory.html"},
    {u"String.Button.Yes", u"Yes"},
    {u"String.Button.No", u"No"},
    {u"String.Button.Ok", u"OK"},
    {u"String.Button.Cancel", u"Cancel"},
    {u"String.Button.Apply", u"Apply"},
    {u"String.MsgTitle.Information", u"Information"},
    {u"String.MsgTitle.Question", u"Question"},
    {u"String.MsgTitle.Warning", u"Warning"},
    {u"String.MsgTitle.Failure", u"Failure"},
    {u"String.MsgTitle.Error", u"Error"},
    {u"String.MsgTitle.Critical", u"Critical"},
    {u"String.MsgText.HelpFailed", u"Sorry! Lost help file. Please reinstall this software to solve this problem."},
    {u"String.MsgText.DeleteLogsQuery", u"Are you sure to delete all history logs?"},
    {u"String.HotKeyFailed",
     u"The hotkey %s could not be registered: another program uses it, or there is no X server."},
    {u"String.Upgrade", u"Upgrade"},
    {u"String.MsgText.Upgrade", u"Do you want to look for a newer version of Kestrum now?"},
    {u"String.NA", u"N/A"},
    {u"String.Usage", u"Usage"},
    {u"String.CPU", u"CPU"},
    {u"String.CPUUsage", u"CPU Usage"},
    {u"String.CPUCore", u"CPU Core"},
    {u"String.MEM", u"Memory Usage"},
    {u"String.PF", u"Page File Usage"},
    {u"String.AntiDistState", u"Do-not-disturb..."},
    {u"String.OptimizeProcess.Result", u"Latest optimization report: available memory: %s -> %s, increased: %s."},
    {u"String.OptimizeProcess.NoSwap",
     u"Only cached file pages could leave memory: there is no swap space, so programs' own memory has nowhere "
     u"to go. Turn on zram (package zram-tools) to free more. See Help."},
    {u"String.OptimizeProcess.NoRight",
     u"Memory was not freed: Kestrum may not trim other programs here. Install the Kestrum package (its "
     u"freeing service does it for you) or run Kestrum as root."},
    {u"String.LogAutomatically", u"Memory was optimized automatically in background."},
    {u"String.LogManually", u"Memory was optimized manually."},
    {u"String.LogResult", u"%s -> %s, +%s."},
    {u"FormKSMain.SkinMgr.Title.Text", u"Kestrum"},
    {u"FormKSMain.Caption", u"Kestrum"},
    {u"FormKSMain.btnTabOverView.Caption", u"Usage"},
    {u"FormKSMain.btnTabOptimize.Caption", u"Optimize"},
    {u"FormKSMain.btnTabUpgrade.Caption", u"Upgrade"},
    {u"FormKSMain.btnTabLogs.Caption", u"Logs"},
    {u"FormKSMain.lblStatusVersion.Caption", u"Kestrum Version: %s"},
    {u"FormKSMain.lblStatusInfo.Caption", u""},
    {u"FormKSMain.mniMainSettings.Caption", u"Settings..."},
    {u"FormKSMain.mniMainLanguages.Caption", u"Languages"},
    {u"FormKSMain.mniMainHelp.Caption", u"Help"},
    {u"FormKSMain.mniMainHomePage.Caption", u"Homepage"},
    {u"FormKSMain.mniMainAbout.Caption", u"About..."},
    {u"FormKSMain.TrayIcon.Hint", u"Memory usage: %d %%"},
    {u"FormKSMain.TrayIcon.Hint.AntiDist", u"#N#RDo-not-disturb..."},
    {u"FormKSMain.TrayIcon.BalloonTitle", u"Kestrum"},
    {u"FormKSMain.TrayIcon.BalloonHint", u"Before optimizing: %s#N#RAfter optimizing: %s#N#RIncreased: %s"},
    {u"FormKSMain.mniTrayIconShowHide.Caption", u"Show/Hide Window"},
    {u"FormKSMain.mniTrayIconOptimize.Caption", u"Optimize Memory"},
    {u"FormKSMain.mniTrayIconSettings.Caption", u"Settings..."},
    {u"FormKSMain.mniTrayIconAbout.Caption", u"About..."},
    {u"FormKSMain.mniTrayIconHelp.Caption", u"Help"},
    {u"FormKSMain.mniTrayIconHomePage.Caption", u"Homepage"},
    {u"FormKSMain.mniTrayIconExit.Caption", u"Exit"},
    {u"FormKSMain.chtOverview.Title.Text.Text",
     u"Display current system usage, such as: usage of CPU, Memory and Page File."},
    {u"FormKSMain.slineCPU.Title", u"CPU: %d %%#B#B#B#B"},
    {u"FormKSMain.slineMEM.Title", u"MEM: %d %%#B#B#B#B"},
    {u"FormKSMain.slinePF.Title", u"PF: %d %%#B#B#B#B"},
    {u"FormKSMain.pnlOverviewMEM.Caption",
     u"Usage of Memory: %d %%#N#R────────────#N#RTotal MEM: %s#N#RAvailable MEM: %s#N#RSystem Cache: %s#N#R"},
    {u"FormKSMain.pnlOverviewPF.Caption",
     u"Usage of Page File: %d %%#N#R────────────#N#RTotal PF: %s#N#RUsed PF: %s#N#RPeak Used PF: %s#N#R"},
    {u"FormKSMain.btnOverviewOptimize.Caption", u"Free Now"},
    {u"FormKSMain.btnOverviewOptimize.Hint", u"One-click memory optimization"},
    {u"FormKSMain.lblOptimizeTitle.Caption", u"One-click to fully optimize memory and speed up system."},
    {u"FormKSMain.btnOptimize.Caption", u"Free Now"},
    {u"FormKSMain.lblOptimize.Caption", u"Freeing"},
    {u"FormKSMain.lblOptimizeProc.Caption", u"Click \"Free Now\" to optimize memory."},
    {u"FormKSMain.lblOptimizeSmart.Caption", u"Enable smart optimizing to automatically tune up memory resources."},
    {u"FormKSMain.lblOptimizeAutoFree.Caption",
     u"Enable automatic optimization when available memory falls below a certain level."},
    {u"FormKSMain.lblOptimizeCPUProtection.Caption",
     u"Temporary disable automatic memory optimization when CPU usage goes above a certain level."},
    {u"FormKSMain.lblOptimizeMEMAllocation.Caption", u"Tune up memory to optimize system appearance and performance."},
    {u"FormKSMain.lblOptimizeCPUAllocation.Caption",
     u"Tune up CPU assignment for better utilization of CPU resources."},
    {u"FormKSMain.lblOptimizeFreeNow.Caption", u"Optimize memory now."},
    {u"FormKSMain.lblLogsRange.Caption", u"Select the date range to view:"},
    {u"FormKSMain.lblLogsBeginDate.Caption", u"Start from:"},
    {u"FormKSMain.lblLogsEndDate.Caption", u"End at:"},
    {u"FormKSMain.lblLogsDelete.Caption", u"Delete Logs"},
    {u"FormKSMain.lvLogsItems.Columns.Items[0].Caption", u"Time"},
    {u"FormKSMain.lvLogsItems.Columns.Items[1].Caption", u"Operation"},
    {u"FormKSMain.lvLogsItems.Columns.Items[2].Caption", u"Result"},
    {u"FormKSMain.cbbLogsRange.Items[0]", u"View logs of today."},
    {u"FormKSMain.cbbLogsRange.Items[1]", u"View logs within the last 3 days."},
    {u"FormKSMain.cbbLogsRange.Items[2]", u"View logs within the last 7 days."},
    {u"FormKSMain.cbbLogsRange.Items[3]", u"View logs within the last 15 days."},
    {u"FormKSMain.cbbLogsRange.Items[4]", u"View logs within the last 30 days."},
    {u"FormKSMain.cbbLogsRange.Items[5]", u"Customize..."},
    {u"FormKSAbout.SkinMgr.Title.Text", u"About Kestrum"},
    {u"FormKSAbout.Caption", u"About Kestrum"},
    {u"FormKSAbout.lblTitle.Caption", u"Kestrum"},
    {u"FormKSAbout.lblVersion.Caption", u"Version %s"},
    {u"FormKSAbout.lblHome.Caption", u"Homepage"},
    {u"FormKSAbout.mmoDesc.Lines.Text", AboutDescription},
    {u"FormKSSettings.SkinMgr.Title.Text", u"Kestrum - Settings"},
    {u"FormKSSettings.Caption", u"Kestrum - Settings"},
    {u"FormKSSettings.chkAutoStart.Caption", u"Execute at Windows Startup."},
    {u"FormKSSettings.chkTrayIcon.Caption", u"Display icon on system tray."},
    {u"FormKSSettings.rbTrayIconDynamic.Caption", u"Dynamic display current memory usage."},
    {u"FormKSSettings.rbTrayIconStatic.Caption", u"Only display a static icon."},
    {u"FormKSSettings.chkHotKey.Caption", u"Use hotkey below to optimize memory at any time."},
    {u"FormKSSettings.lblHotKey.Caption", u"(This hotkey is allocated, please use another one.)"},
    {u"FormKSSettings.chkSleep.Caption", u"Do not optimize in background repeatedly within:"},
    {u"FormKSSettings.lblSleepMin.Caption", u"Minute(s)"},
    {u"FormKSSettings.chkAntiDisturb.Caption", u"Enable \"Do-Not-Disturb\". (Recommended)"},
    {u"FormKSSettings.lblAntiDisturb.Caption", u"(What is \"Do-Not-Disturb\"?)"},
    {u"FormKSSettings.lblAntiDisturbHint.Caption",
     u"To avoid of interrupting users' common operation, this application will not optimize memory automatically or "
     u"popup any messages when users are playing games or running full-screen programs."},
    {u"String.HotKeyWayland",
     u"No global hotkey on Wayland: bind the command \"kestrum -optimize\" to %s in the desktop's keyboard "
     u"settings."},
    // A run that freed nothing, and tuning stages that have nothing to tune on this system.
    {u"String.OptimizeProcess.Nothing",
     u"Latest optimization report: nothing could be freed (available memory: %s -> %s)."},
    {u"String.OptimizeProcess.NothingWhy",
     u"The programs' idle memory had already left memory, or other programs took as much while the run went on."},
    {u"String.OptimizeProcess.NotTuned", u"Nothing to tune here: this system has no such setting."},
    // A page that cannot be opened because nothing is there to open it.
    {u"String.MsgText.OpenFailed",
     u"The page could not be opened: no program was found to open it (install the package xdg-utils). The page "
     u"is here:#N#R%s"},
    {u"FormKSMain.slinePSI.Title", u"Pressure: %d %%#B#B#B#B"},
    {u"String.Pressure.WarnTitle", u"Memory is running short"},
    {u"String.Pressure.WarnText",
     u"The desktop may soon stall: programs waited for memory %d %% of the time, and only %s is available."},
    {u"String.Pressure.WarnGrowers", u"#N#RGrew most in the last minute: %s."},
    {u"FormKSMain.chtLogsGains.Title", u"Gains of the runs in this range, and what came back within a minute"},
    {u"FormKSMain.chtLogsGains.Gain", u"Gain"},
    {u"FormKSMain.chtLogsGains.CameBack", u"Came back"},
    {u"FormKSMain.chtLogsGains.Empty", u"No runs in this range."},
    {u"FormKSMain.chtLogsGains.Hint",
     u"%s#N#RGain: %s#N#RCame back within a minute: %s (refaults of the whole system: %s)#N#RMajor faults of the "
     u"trimmed programs: %s; memory pressure meanwhile: %s"},
    {u"FormKSMain.chtLogsGains.HintNoCost", u"%s#N#RGain: %s"},
    {u"FormKSMain.mniMainProtection.Caption", u"Protection..."},
    {u"FormKSMain.lblOptimizeProtection.Caption", u"Programs that are never trimmed..."},
    {u"FormKSMain.lblLogsPrograms.Caption", u"Freed from:"},
    {u"FormKSMain.lblLogsPrograms.None", u"(not recorded for this run)"},
    {u"FormKSMain.lblLogsPrograms.Item", u"%s %s MB"},
    {u"FormKSProtection.Caption", u"Kestrum - Protection"},
    {u"FormKSProtection.lblMode.Caption", u"Which programs does freeing memory trim?"},
    {u"FormKSProtection.cbbMode.Items[0]", u"All but the never-trim list and the 5 most-used programs"},
    {u"FormKSProtection.cbbMode.Items[1]", u"All but the never-trim list"},
    {u"FormKSProtection.cbbMode.Items[2]", u"Only the trim-only list"},
    {u"FormKSProtection.cbbMode.Items[3]", u"All programs"},
    {u"FormKSProtection.chkProtectGames.Caption", u"Never trim a running game"},
    {u"FormKSProtection.chkProtectFullScreen.Caption", u"Never trim a full-screen program"},
    {u"FormKSProtection.chkProtectForeground.Caption", u"Never trim the program in front"},
    {u"FormKSProtection.lvPrograms.Columns[0]", u"Program"},
    {u"FormKSProtection.lvPrograms.Columns[1]", u"Processes"},
    {u"FormKSProtection.lvPrograms.Columns[2]", u"In memory (MB)"},
    {u"FormKSProtection.lvPrograms.Columns[3]", u"Swapped (MB)"},
    {u"FormKSProtection.lvPrograms.Columns[4]", u"Protection"},
    {u"FormKSProtection.Reason.None", u"trimmed"},
    {u"FormKSProtection.Reason.NeverTrim", u"never-trim list"},
    {u"FormKSProtection.Reason.Game", u"game"},
    {u"FormKSProtection.Reason.FullScreen", u"full screen"},
    {u"FormKSProtection.Reason.Foreground", u"in front"},
    {u"FormKSProtection.Reason.MostUsed", u"one of the 5 most used"},
    {u"FormKSProtection.Reason.NotListed", u"not on the trim-only list"},
    {u"FormKSProtection.Reason.TrimOnly", u"trimmed (trim-only list)"},
    {u"FormKSProtection.lblName.Caption", u"Program name:"},
    {u"FormKSProtection.btnNeverTrim.Caption", u"Never trim"},
    {u"FormKSProtection.btnTrimOnly.Caption", u"Trim only these"},
    {u"FormKSProtection.btnRemove.Caption", u"Off the lists"},
    {u"FormKSProtection.btnRefresh.Caption", u"Refresh"},
    {u"FormKSProtection.btnOK.Caption", u"OK"},
    {u"FormKSProtection.btnCancel.Caption", u"Cancel"},
    {u"FormKSProtection.Status.NeverTrim", u"%s is on the never-trim list."},
    {u"FormKSProtection.Status.TrimOnly", u"%s is on the trim-only list."},
    {u"FormKSProtection.Status.Removed", u"%s is off the lists."},
    {u"FormKSProtection.Status.NotListed", u"%s was on no list."},
    {u"FormKSProtection.Status.BadName", u"Type a program name (without a folder, \"=\" or line break)."},
    {u"FormKSProtection.Status.NotWritten", u"The list or settings file could not be written."},
    // The global hotkey where the desktop's shortcut portal holds it, and the shortcut's name shown there.
    {u"String.HotKeyPortal", u"Global hotkey held by the desktop's shortcut portal: %s"},
    {u"String.HotKeyPortalDescription", u"Optimize memory now"},
    // The settings dialog's button to the desktop's own shortcut configuration.
    {u"FormKSSettings.btnDesktopShortcut.Caption", u"Change hotkey in desktop settings..."},
    // GNOME without a shortcut portal: the offer to add a custom keybinding, asked before anything is written.
    {u"FormKSSettings.btnGnomeShortcut.Caption", u"Add as GNOME shortcut..."},
    {u"String.GnomeShortcutAsk",
     u"Add a GNOME keyboard shortcut %s that runs \"%s\"? Your other shortcuts are kept."},
    {u"String.GnomeShortcutAdded", u"The GNOME keyboard shortcut %s now runs \"%s\"."},
    {u"String.GnomeShortcutFailed", u"The GNOME keyboard shortcut could not be added: %s"},
};

} // namespace

std::span<const TLangFontRes> DefaultFontRes() {
    return FontRes;
}
std::span<const TLangFontSet> DefaultFontSets() {
    return FontSets;
}
std::span<const TLangText> DefaultTexts() {
    return Texts;
}

QStringList KeysWithoutDefault() {
    return {QStringLiteral("FormKSMain.lblOptimizeResult.Caption")};
}

QStringList FontKeysWithoutDefault() {
    return {QStringLiteral("FormKSMain.btnTabLogs.Font")};
}

void MultiLangsMakeDefault(TOrvMultiLangs* langs) {
    for (const TLangFontRes& f : FontRes)
        langs->AddFontRes(f.Number, QString::fromUtf16(f.Name), f.Style, f.Size, f.Color);
    for (const TLangFontSet& s : FontSets) langs->AddFontSet(QString::fromUtf16(s.Key), s.Number);
    for (const TLangText& t : Texts) langs->AddText(QString::fromUtf16(t.Key), QString::fromUtf16(t.Text));
}

QString LangPackFileName(const QString& appDir, int languageNumber) {
    return appDir + QStringLiteral("Langs/") + QString::number(languageNumber) + QStringLiteral("/Kestrum.ini");
}

QString LangPackFileName(int languageNumber) {
    return LangPackFileName(GetAppDir(), languageNumber);
}

} // namespace kestrum
