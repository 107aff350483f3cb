#pragma once
#include <QObject>

namespace kestrum {

// One reason, other than a full-screen window, for do-not-disturb: a game that asked for it, or the
// desktop's own do-not-disturb. A source reports changes by itself (D-Bus signals); nobody polls it.
class TDndSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    bool Active() const { return FActive; }
    // A short name for traces.
    virtual const char* Name() const = 0;

signals:
    void ActiveChanged(bool active);

protected:
    void SetActive(bool value) {
        if (value == FActive) return;
        FActive = value;
        emit ActiveChanged(value);
    }

private:
    bool FActive = false;
};

} // namespace kestrum
