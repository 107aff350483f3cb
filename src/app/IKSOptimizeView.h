#pragma once
#include <QString>

namespace kestrum {

// What the optimization flow shows on the "Optimize" page; the page implements it, tests give a fake.
class IKSOptimizeView {
public:
    virtual ~IKSOptimizeView() = default;
    // Width of the filled part of the progress track (0 … 500).
    virtual void SetProgressWidth(int width) = 0;
    // Checklist row k (0 … 5): the golden star when done, the pale one while pending.
    virtual void SetChecklistDone(int k, bool done) = 0;
    // Checklist row k ran but had nothing to do on this system: the pale star stays, and `why` says so.
    // SetChecklistDone puts the row back as it was.
    virtual void SetChecklistSkipped(int k, const QString& why) {}
    // The current text of checklist row k.
    virtual QString ChecklistText(int k) const = 0;
    // The status line.
    virtual void SetStatusText(const QString& text) = 0;
    // A remark under the progress track on what the last run could not do (no swap space, no right to
    // trim); empty hides it.
    virtual void SetNoteText(const QString& text) {}
    // While running the animated picture and its "Freeing" label replace the "Free Now" button.
    virtual void SetRunning(bool running) = 0;
    // The growing result figure.
    virtual void SetResultText(const QString& text) = 0;
    virtual void SetResultVisible(bool visible) = 0;
    virtual void SetResultFontHeight(int height) = 0;
};

} // namespace kestrum
