// kestrum-mkart: draws every picture of the program into an asset folder, plus MANIFEST.md.
//   kestrum-mkart <output folder> [--preview <folder>]
// With --preview it also writes a contact sheet and window mock-ups there, for looking at the result.
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include "ArtSet.h"
#include "Makers.h"
#include "Preview.h"

using namespace kestrum::mkart;

int main(int argc, char** argv) {
    // No display is needed: pictures are drawn into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    QString out, preview;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--preview" && i + 1 < args.size())
            preview = args[++i];
        else if (out.isEmpty() && !args[i].startsWith("--"))
            out = args[i];
        else {
            err << "unknown argument: " << args[i] << "\n";
            return 2;
        }
    }
    if (out.isEmpty()) {
        err << "usage: kestrum-mkart <output folder> [--preview <folder>]\n";
        return 2;
    }
    TArtSet set(out);
    MakeFrames(set);
    MakeTabs(set);
    MakeOptimize(set);
    MakeCommon(set);
    MakeTrayAndIcons(set);
    if (!set.WriteManifest()) err << "cannot write " << out << "/MANIFEST.md\n";
    for (const auto& f : set.Failures()) err << f << "\n";
    if (!preview.isEmpty()) {
        QDir().mkpath(preview);
        ContactSheet(set).save(preview + "/contact.png");
        MainWindowMockup(set, false).save(preview + "/mock_usage.png");
        MainWindowMockup(set, true).save(preview + "/mock_optimize.png");
        DialogsMockup(set).save(preview + "/mock_dialogs.png");
    }
    QTextStream(stdout) << set.Entries().size() << " pictures written to " << out << "\n";
    return set.Ok() ? 0 : 1;
}
