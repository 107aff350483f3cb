#pragma once
#include <QObject>

class QSessionManager;
class QSocketNotifier;

namespace kestrum {

// The end of the user's session, told apart from a close. Closing the window only hides it in the tray, so
// a log-out, a SIGTERM (what systemd and most session managers send) or a SIGHUP (the terminal went away)
// must end the program instead, at once and with exit code 0: nothing is left unsaved (each history record
// and the settings are written when they are made), and the end of the program writes the rest.
//
// The signals arrive through a pipe and are handled on the interface thread. The session manager asks for
// the program's data first (nothing to save: the log-out is never held up) and then tells the application to
// quit; that quit, like any other, ends the program instead of being refused by the hide-to-tray close.
class TKSSessionEnd : public QObject {
    Q_OBJECT
public:
    // One per program, on the interface thread after the application exists.
    explicit TKSSessionEnd(QObject* parent = nullptr);
    ~TKSSessionEnd() override;

    // The application was told to quit (session manager, a signal, the tray's Exit).
    bool Ending() const { return FEnding; }

    // Watches the application object for its quit event (public for the tests).
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The session manager's request to save what the program holds before the log-out.
    static void CommitData(QSessionManager& manager);

signals:
    // The program should end now.
    void EndRequested();

private:
    void SignalArrived();
    void End();

    QSocketNotifier* FNotifier = nullptr;
    bool FEnding = false;
};

} // namespace kestrum
