#include "ArtSet.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <utility>

namespace kestrum::mkart {

TArtSet::TArtSet(QString outDir) : OutDir_(std::move(outDir)) {}

bool TArtSet::EnsureFolder(const QString& path) {
    const QString dir = QFileInfo(OutDir_ + "/" + path).absolutePath();
    if (QDir().mkpath(dir)) return true;
    Failures_ << "cannot create folder " + dir;
    return false;
}

void TArtSet::Png(const QString& path, const QImage& image, const QString& purpose, bool opaque) {
    if (!EnsureFolder(path)) return;
    // Straight (not premultiplied) alpha is what PNG stores; converting here keeps the writer from guessing.
    const QImage out = image.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    QImageWriter writer(OutDir_ + "/" + path, "png");
    writer.setQuality(0); // smallest file: zlib level 9
    if (!writer.write(out)) {
        Failures_ << path + ": " + writer.errorString();
        return;
    }
    Entries_.push_back({path, out.width(), out.height(), purpose, out});
}

void TArtSet::File(const QString& path, const QByteArray& data, const QImage& preview, const QString& purpose) {
    if (!EnsureFolder(path)) return;
    QFile f(OutDir_ + "/" + path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size()) {
        Failures_ << path + ": " + f.errorString();
        return;
    }
    Entries_.push_back({path, preview.width(), preview.height(), purpose, preview});
}

const QImage& TArtSet::Get(const QString& path) const {
    static const QImage none;
    for (const auto& e : Entries_)
        if (e.Path == path) return e.Preview;
    return none;
}

bool TArtSet::WriteManifest() const {
    QString text =
        "# Kestrum artwork\n\n"
        "Every file below this folder is drawn by `tools/mkart` (see `tools/mkart/README.md`); do not edit the\n"
        "pictures by hand: change the generator and run it again, which also rewrites this list. The build embeds\n"
        "them as Qt resources: `:/assets/<path>`.\n\n"
        "Conventions:\n"
        "- PNG pictures carry an alpha channel unless the row says \"opaque\".\n"
        "- The frame pieces are opaque (the skin manager strips alpha from frame pictures). Outside their rounded\n"
        "  corners they hold exact magenta, RGB (255, 0, 255), the key colour 16711935: switch the skin manager's\n"
        "  `TransColor` on for the three windows so those pixels are cut out of the window region.\n"
        "- Edge pieces (`frame_top`, `frame_bottom`, `frame_left`, `frame_right`) are uniform along their length,\n"
        "  so tiling and stretching give the same result.\n"
        "- The windows' background is RGB (230, 240, 255). No picture holds text: the controls draw their captions.\n"
        "- States: `normal`, `hover`, `pressed` (mouse down), `disabled`. For the tab buttons `disabled` is the look\n"
        "  of the selected tab (the tab switcher disables the active tab's button).\n\n"
        "Placement and captions the pictures are drawn for:\n"
        "- Main window: header (caption row and tab row) is the 116 rows of `skin/main/frame_top*`; the status line\n"
        "  is the 30 rows of `skin/main/frame_bottom*`. Title text white bold; tab captions white bold Tahoma 10 pt\n"
        "  (`TextAlign` `OrvAlign_CustomCenter`, `TextY` 57); the selected tab's picture points into the page below.\n"
        "- Settings dialog and about box: caption band of 32 rows, title white bold; close button at (width − 30, 5).\n"
        "- Caption buttons and the menu button are 25×24 and sit in a row (menu, minimize, close) at y 5.\n"
        "- \"Free Now\" caption: white bold, centred (the bolt above the centre leaves it room). The command buttons\n"
        "  take a dark caption.\n"
        "- Progress pictures are drawn at their own size (no stretch); the filled one is clipped by its control.\n\n"
        "| File | Size | Use |\n|---|---|---|\n";
    for (const auto& e : Entries_)
        text += QString("| `%1` | %2×%3 | %4 |\n").arg(e.Path).arg(e.Width).arg(e.Height).arg(e.Purpose);
    QFile f(OutDir_ + "/MANIFEST.md");
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray bytes = text.toUtf8();
    return f.write(bytes) == bytes.size();
}

} // namespace kestrum::mkart
