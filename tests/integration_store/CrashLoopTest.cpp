// A writer that saves the settings and appends history records is killed at random moments, again and
// again. After every kill each file must still parse, no save or record the writer had confirmed may be
// missing, the settings must come from one save, and no temporary file may pile up.
// KESTRUM_CRASHLOOP_KILLS sets the number of kills (100 by default; the long script asks for more).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "common/TestHome.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"
#include "support/AtomicFile.h"
#include "support/IniFile.h"

using namespace kestrum;

namespace {

const QDateTime Day(QDate(2024, 5, 10), QTime(12, 0));

// Every field of save number n is made from n, so a file mixing two saves shows.
TKSSettings SettingsOf(int n) {
    TKSSettings s;
    s.Language = n;
    s.AutoStart = n & 1;
    s.ShowTrayIcon = n & 2;
    s.DynTrayIcon = n & 4;
    s.UseHotKey = n & 8;
    s.HotKeyValue = uint16_t(n * 7);
    s.SleepEnabled = n & 16;
    s.SleepValue = -n;
    s.AntiDisturb = n & 32;
    return s;
}

bool IsSettingsOf(const TKSSettings& s, int n) {
    const TKSSettings e = SettingsOf(n);
    return s.Language == e.Language && s.AutoStart == e.AutoStart && s.ShowTrayIcon == e.ShowTrayIcon &&
           s.DynTrayIcon == e.DynTrayIcon && s.UseHotKey == e.UseHotKey && s.HotKeyValue == e.HotKeyValue &&
           s.SleepEnabled == e.SleepEnabled && s.SleepValue == e.SleepValue && s.AntiDisturb == e.AntiDisturb;
}

// Record texts carry a line break, quotes and the delimiter, so the escapes are part of every write.
QString RecordText(int n) {
    return QStringLiteral("record %1\n\"second\" | line").arg(n);
}

// The writer: numbers its saves and records from `first` on and reports each one that returned success
// ("S n" / "H n") through the pipe. Runs until it is killed.
[[noreturn]] void Writer(const QString& home, int first, int report) {
    const QString config = home + QStringLiteral("Config/Config.ini");
    int tick = first;
    TKSLogMgr history(home, [&tick] { return Day.addMSecs(tick); });
    for (int n = first;; ++n) {
        tick = n;
        char line[32];
        if (SaveSettings(SettingsOf(n), config)) {
            const int len = std::snprintf(line, sizeof line, "S %d\n", n);
            if (write(report, line, size_t(len)) != len) _exit(2);
        }
        if (history.AddHistoryRecord(QStringLiteral("op"), RecordText(n))) {
            const int len = std::snprintf(line, sizeof line, "H %d\n", n);
            if (write(report, line, size_t(len)) != len) _exit(2);
        }
    }
}

struct TFigures {
    int Kills = 0;
    int Unreadable = 0; // a file that does not parse, or a history line that is no whole record
    int Lost = 0;       // a confirmed save or record that is not there
    int Mixed = 0;      // settings that come from no single save
    int Leftovers = 0;  // temporaries beyond the one the last kill may have interrupted, or after a save
    int Saves = 0;      // confirmed saves
    int Records = 0;    // confirmed records
};

QStringList Temporaries(const QString& folder) {
    QStringList out;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (IsAtomicTempName(name, QStringLiteral("Config.ini"))) out << name;
    return out;
}

int KillsWanted() {
    const int n = qEnvironmentVariableIntValue("KESTRUM_CRASHLOOP_KILLS");
    return n > 0 ? n : 100;
}

} // namespace

TEST(CrashLoop, KilledWritesLoseNothingAndLeaveNothingBehind) {
    test::TTestHome home;
    const QString config = home.File("Config/Config.ini");
    const QString configFolder = home.File("Config");
    const QString dayFile = home.File("Logs/Kestrum/20240510.log");
    // Another program's section, which every save must keep.
    QDir().mkpath(configFolder);
    {
        QFile f(config);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[LANGUAGE]\r\nLanguage=1031\r\n");
    }

    std::mt19937 random(20240510);
    std::uniform_int_distribution<int> delayUs(0, 40000);
    TFigures fig;
    QSet<int> confirmedRecords, lostRecords;
    int lastSave = 0, next = 1;

    for (int round = 0; round < KillsWanted(); ++round) {
        int pipeFds[2];
        ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipeFds[0]);
            Writer(home.Path(), next, pipeFds[1]);
        }
        close(pipeFds[1]);
        // Every tenth writer lives long enough to confirm writes even on a slow or instrumented build, so
        // there is always something confirmed for the kills to lose.
        usleep(useconds_t(round % 10 == 9 ? 250000 : delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ++fig.Kills;

        QByteArray reports;
        char buffer[4096];
        for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) reports.append(buffer, n);
        close(pipeFds[0]);
        for (const QByteArray& line : reports.split('\n')) {
            if (line.size() < 3) continue;
            const int n = line.mid(2).toInt();
            if (line[0] == 'S') {
                lastSave = std::max(lastSave, n), ++fig.Saves;
            } else if (line[0] == 'H') {
                confirmedRecords.insert(n), ++fig.Records;
            }
            next = std::max(next, n + 1);
        }
        next += 1; // a number the killed writer may have started on is not used again

        // The settings: whole, from one save, not older than the last confirmed one; the other section kept.
        TKSSettings loaded;
        const TSettingsResult r = LoadSettings(loaded, config);
        if (!r) {
            ++fig.Unreadable;
        } else if (!TIniFile(config).SectionExists(QString::fromLatin1(KSSettingsSection))) {
            if (lastSave > 0) ++fig.Lost; // a confirmed save vanished
        } else {
            const int n = loaded.Language;
            if (!IsSettingsOf(loaded, n)) ++fig.Mixed;
            if (n < lastSave) ++fig.Lost;
        }
        if (TIniFile(config).ReadInteger(QStringLiteral("LANGUAGE"), QStringLiteral("Language"), 0) != 1031) ++fig.Lost;

        // The history: every line a whole record, every confirmed record there.
        if (QFile::exists(dayFile)) {
            TOrvLogManager reader;
            reader.SetLogFile(dayFile);
            if (!reader.LoadFromFile()) {
                ++fig.Unreadable;
            } else {
                QSet<int> present;
                static const QRegularExpression text(QStringLiteral("^record (\\d+)\n\"second\" \\| line$"));
                for (int i = 0; i < reader.Count(); ++i) {
                    const TOrvLogItem* item = reader.Items(i);
                    const auto m = text.match(item->Fields.value(1));
                    if (item->Time == 0 || item->Fields.size() != 2 || item->Fields[0] != u"op"_qs || !m.hasMatch())
                        ++fig.Unreadable;
                    else
                        present.insert(m.captured(1).toInt());
                }
                for (int n : confirmedRecords)
                    if (!present.contains(n) && !lostRecords.contains(n)) lostRecords.insert(n), ++fig.Lost;
            }
        }

        // At most the one temporary the kill interrupted.
        fig.Leftovers += std::max(0, int(Temporaries(configFolder).size()) - 1);
    }

    // One more save in peace: it removes what the last kill left.
    ASSERT_TRUE(SaveSettings(SettingsOf(next), config));
    fig.Leftovers += int(Temporaries(configFolder).size());

    std::printf(
        "crash loop: kills %d, files unreadable %d, records or saves lost %d, mixed saves %d, leftovers %d "
        "(confirmed saves %d, confirmed records %d)\n",
        fig.Kills, fig.Unreadable, fig.Lost, fig.Mixed, fig.Leftovers, fig.Saves, fig.Records);
    RecordProperty("kills", fig.Kills);
    EXPECT_GT(fig.Saves, 0);
    EXPECT_GT(fig.Records, 0);
    EXPECT_EQ(fig.Unreadable, 0);
    EXPECT_EQ(fig.Lost, 0);
    EXPECT_EQ(fig.Mixed, 0);
    EXPECT_EQ(fig.Leftovers, 0);
}
