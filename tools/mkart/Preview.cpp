#include "Preview.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include "ArtSet.h"
#include "Draw.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

QImage Pic(const TArtSet& set, const QString& path) {
    return set.Get(path);
}

void Tile(QPainter& p, const QImage& img, const QRect& r) {
    if (img.isNull() || r.width() <= 0 || r.height() <= 0) return;
    p.save();
    p.setClipRect(r);
    for (int y = r.top(); y < r.bottom() + 1; y += img.height())
        for (int x = r.left(); x < r.right() + 1; x += img.width()) p.drawImage(x, y, img);
    p.restore();
}

// The eight pieces placed as the skin manager places them, then the key colour cut out.
QImage Window(const TArtSet& set, const QString& folder, int w, int h) {
    QImage win(w, h, QImage::Format_ARGB32);
    win.fill(pal::Window);
    QPainter p(&win);
    auto pic = [&](const char* n) { return Pic(set, folder + "/frame_" + n + ".png"); };
    const QImage tl = pic("topleft"), t = pic("top"), tr = pic("topright"), l = pic("left"), r = pic("right"),
                 bl = pic("bottomleft"), b = pic("bottom"), br = pic("bottomright");
    p.drawImage(0, 0, tl);
    p.drawImage(w - tr.width(), 0, tr);
    Tile(p, t, QRect(tl.width(), 0, w - tl.width() - tr.width(), t.height()));
    p.drawImage(0, h - bl.height(), bl);
    p.drawImage(w - br.width(), h - br.height(), br);
    Tile(p, b, QRect(bl.width(), h - b.height(), w - bl.width() - br.width(), b.height()));
    Tile(p, l, QRect(0, tl.height(), l.width(), h - tl.height() - bl.height()));
    Tile(p, r, QRect(w - r.width(), tr.height(), r.width(), h - tr.height() - br.height()));
    p.end();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (win.pixel(x, y) == qRgb(255, 0, 255)) win.setPixel(x, y, 0);
    return win;
}

QFont Face(double pt, bool bold) {
    QFont f("Tahoma");
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pt);
    f.setBold(bold);
    return f;
}

void Text(QPainter& p, int x, int y, const QString& s, const QFont& f, const QColor& c) {
    p.setFont(f);
    p.setPen(c);
    p.drawText(QRect(x, y, 2000, 200), Qt::AlignLeft | Qt::AlignTop, s);
}

void Caption(QPainter& p, const TArtSet& set, int w, const QString& icon, QPoint iconAt, QPoint titleAt,
             const QString& title, bool minimize) {
    p.drawImage(iconAt, Pic(set, "skin/caption/" + icon));
    Text(p, titleAt.x(), titleAt.y(), title, Face(9, true), Qt::white);
    p.drawImage(w - 30, 5, Pic(set, "skin/caption/close_normal.png"));
    if (minimize) p.drawImage(w - 55, 5, Pic(set, "skin/caption/min_hover.png"));
}

void Panel(QPainter& p, const QRect& r) {
    p.setPen(QColor(160, 180, 210));
    p.setBrush(Qt::white);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

} // namespace

QImage ContactSheet(const TArtSet& set) {
    const int width = 1100, pad = 10, labelH = 14;
    // lay out first to know the height
    struct TCell {
        QRect box;
        const TArtEntry* e;
        int zoom;
    };
    std::vector<TCell> cells;
    int x = pad, y = pad, rowH = 0;
    for (const auto& e : set.Entries()) {
        const int zoom = e.Width <= 32 ? 3 : 1;
        const int w = std::max(e.Width * zoom, 90), h = e.Height * zoom + labelH;
        if (x + w > width - pad) x = pad, y += rowH + pad, rowH = 0;
        cells.push_back({QRect(x, y, w, h), &e, zoom});
        x += w + pad;
        rowH = std::max(rowH, h);
    }
    QImage sheet(width, y + rowH + pad, QImage::Format_ARGB32);
    sheet.fill(QColor(250, 250, 252));
    QPainter p(&sheet);
    p.setFont(Face(6.5, false));
    for (const auto& c : cells) {
        const QRect pic(c.box.left(), c.box.top(), c.e->Width * c.zoom, c.e->Height * c.zoom);
        // header-coloured backdrop for pictures meant for the dark header, checker for the rest
        const bool onHeader =
            c.e->Path.startsWith("tabs/") || c.e->Path.startsWith("skin/caption/") || c.e->Path.startsWith("main/");
        if (onHeader) {
            p.fillRect(pic, pal::Mix(pal::HeaderTop, pal::HeaderBottom, 0.6));
        } else {
            for (int yy = pic.top(); yy <= pic.bottom(); yy += 6)
                for (int xx = pic.left(); xx <= pic.right(); xx += 6)
                    p.fillRect(QRect(xx, yy, 6, 6).intersected(pic),
                               ((xx - pic.left()) / 6 + (yy - pic.top()) / 6) % 2 ? QColor(225, 225, 230) : Qt::white);
        }
        p.drawImage(pic, c.e->Preview);
        p.setPen(QColor(60, 60, 70));
        p.drawText(QRect(c.box.left(), pic.bottom() + 1, c.box.width() + pad, labelH), Qt::AlignLeft,
                   c.e->Path.section('/', -1));
    }
    p.end();
    return sheet;
}

QImage MainWindowMockup(const TArtSet& set, bool optimizePage) {
    const int w = 800, h = 600;
    QImage win = Window(set, "skin/main", w, h);
    QPainter p(&win);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Caption(p, set, w, "icon_main.png", {8, 5}, {35, 7}, "Kestrum", true);
    p.drawImage(w - 80, 5, Pic(set, "skin/caption/menu_normal.png"));
    const char* tabs[] = {"usage", "optimize", "upgrade", "logs"};
    const char* captions[] = {"Usage", "Optimize", "Upgrade", "Logs"};
    for (int i = 0; i < 4; ++i) {
        const bool selected = (i == 0 && !optimizePage) || (i == 1 && optimizePage);
        const char* state = selected ? "disabled" : (i == 3 ? "hover" : "normal");
        const int x = 24 + 83 * i;
        p.drawImage(x, 36, Pic(set, QString("tabs/%1_%2.png").arg(tabs[i], state)));
        p.setFont(Face(10, true));
        p.setPen(Qt::white);
        p.drawText(QRect(x, 36 + 57, 77, 20), Qt::AlignHCenter | Qt::AlignTop, captions[i]);
    }
    p.drawImage(560, 39, Pic(set, "main/banner.png"));
    p.translate(15, 126); // the page control
    if (!optimizePage) {
        const QRect chart(0, 0, 762, 302);
        p.setPen(QColor(190, 205, 230));
        for (int v = 0; v <= 100; v += 10) {
            const int y = 10 + (100 - v) * 250 / 100;
            p.setPen(QPen(QColor(190, 205, 230), 1, Qt::DotLine));
            p.drawLine(40, y, chart.width() - 10, y);
            Text(p, 14, y - 7, QString::number(v), Face(7, false), QColor(60, 70, 90));
        }
        const QColor colours[] = {{0, 255, 0}, {0, 0, 255}, {255, 128, 64}};
        for (int s = 0; s < 3; ++s) {
            QPainterPath line;
            for (int i = 0; i <= 120; ++i) {
                const double v = s == 0   ? 12 + 9 * std::sin(i * 0.3) + (i % 7)
                                 : s == 1 ? 58 + 3 * std::sin(i * 0.05)
                                          : 41 + std::sin(i * 0.1);
                const QPointF pt(chart.width() - 10 - (120 - i) * 3.0, 10 + (100 - v) * 2.5);
                i ? line.lineTo(pt) : line.moveTo(pt);
            }
            p.setPen(QPen(colours[s], 3));
            p.setBrush(Qt::NoBrush);
            p.drawPath(line);
        }
        const QString texts[] = {
            "CPU Usage 23 %\n────────────\nCPU Core 1: 20 %\nCPU Core 2: 26 %",
            "Usage of Memory: 58 %\n────────────\nTotal MEM: 8,192.00 MB\nAvailable MEM: 3,4"
            "40.12 MB",
            "Usage of Page File: 41 %\n────────────\nTotal PF: 10,240.00 MB\nUsed PF: 4,198.40 MB"};
        for (int i = 0; i < 3; ++i) {
            const QRect r(32 + 200 * i, 311, 194, 105);
            Panel(p, r);
            p.setFont(Face(8, false));
            p.setPen(Qt::black);
            p.drawText(r.adjusted(4, 6, -4, -26), Qt::AlignHCenter | Qt::AlignTop, texts[i]);
            p.setPen(QColor(180, 180, 180));
            p.setBrush(QColor(245, 245, 245));
            p.drawRect(r.left() + 29, r.top() + 82, 135, 12);
            p.setBrush(colours[i]);
            p.drawRect(r.left() + 29, r.top() + 82, 135 * (i == 0 ? 23 : i == 1 ? 58 : 41) / 100, 12);
        }
        p.drawImage(643, 311, Pic(set, "optimize/freenow_normal.png"));
        p.setFont(Face(10, true));
        p.setPen(Qt::white);
        p.drawText(QRect(643, 311, 105, 105), Qt::AlignCenter, "Free Now");
    } else {
        Text(p, 38, 10, "Optimize your computer's memory", Face(8, true), Qt::black);
        const QRect proc(38, 35, 685, 150);
        Panel(p, proc);
        p.drawImage(proc.left() + 25, proc.top() + 21, Pic(set, "optimize/freenow.gif"));
        p.setFont(Face(10, true));
        p.setPen(Qt::white);
        p.drawText(QRect(proc.left() + 25, proc.top() + 99, 105, 19), Qt::AlignCenter, "Freeing");
        p.drawImage(proc.left() + 146, proc.top() + 51, Pic(set, "optimize/progress_empty.png"));
        p.drawImage(QPoint(proc.left() + 146, proc.top() + 51), Pic(set, "optimize/progress_full.png"),
                    QRect(0, 0, 270, 45));
        Text(p, proc.left() + 160, proc.top() + 28, "Allocating memory...", Face(8, false), Qt::black);
        Text(p, proc.left() + 512, proc.top() + 96, "+ 512.00 MB", Face(16, true), QColor(0, 0, 255));
        const QRect items(38, 198, 685, 211);
        Panel(p, items);
        const char* rows[] = {"Smart optimization", "Automatic background freeing", "Processor protection",
                              "Memory allocation",  "Processor allocation",         "Free memory now"};
        const int ys[] = {20, 49, 79, 108, 138, 168};
        for (int i = 0; i < 6; ++i) {
            p.drawImage(items.left() + 63, items.top() + ys[i],
                        Pic(set, i < 4 ? "optimize/star_done.png" : "optimize/star_pending.png"));
            Text(p, items.left() + 97, items.top() + ys[i] + 2, rows[i], Face(8, false), Qt::black);
        }
    }
    p.resetTransform();
    Text(p, 15, 578, "Version 0.1.0.1", Face(8, false), QColor(40, 50, 70));
    p.end();
    QImage desk(w + 40, h + 40, QImage::Format_ARGB32);
    desk.fill(QColor(86, 96, 110));
    QPainter d(&desk);
    d.drawImage(20, 20, win);
    return desk;
}

QImage DialogsMockup(const TArtSet& set) {
    QImage desk(1060, 450, QImage::Format_ARGB32);
    desk.fill(QColor(86, 96, 110));
    QPainter d(&desk);
    {
        QImage win = Window(set, "skin/dialog", 500, 410);
        QPainter p(&win);
        p.setRenderHint(QPainter::Antialiasing);
        Caption(p, set, 500, "icon_dialog.png", {9, 9}, {30, 9}, "Settings", false);
        const char* checks[] = {"Show the tray icon", "Use a global hotkey to free memory",
                                "Free memory in the background at most every", "Do not disturb me while I play"};
        const int cy[] = {81, 164, 232, 301};
        const int lines[] = {63, 146, 214, 283};
        for (int i = 0; i < 4; ++i) {
            p.drawImage(32, lines[i], Pic(set, "common/separator.png"));
            p.setPen(QColor(90, 110, 150));
            p.setBrush(Qt::white);
            p.drawRect(32, cy[i] + 2, 12, 12);
            Text(p, 50, cy[i] + 1, checks[i], Face(8, false), Qt::black);
        }
        const char* buttons[] = {"OK", "Cancel", "Apply"};
        const char* states[] = {"hover", "normal", "disabled"};
        for (int i = 0; i < 3; ++i) {
            p.drawImage(246 + 76 * i, 360, Pic(set, QString("buttons/button_%1.png").arg(states[i])));
            p.setFont(Face(8, false));
            p.setPen(i == 2 ? QColor(150, 150, 160) : Qt::black);
            p.drawText(QRect(246 + 76 * i, 360, 70, 23), Qt::AlignCenter, buttons[i]);
        }
        p.end();
        d.drawImage(20, 20, win);
    }
    {
        QImage win = Window(set, "skin/dialog", 500, 360);
        QPainter p(&win);
        Caption(p, set, 500, "icon_dialog.png", {9, 9}, {30, 9}, "About", false);
        p.drawImage(32, 48, Pic(set, "about/logo.png"));
        Text(p, 176, 64, "Kestrum", Face(12, true), Qt::black);
        Text(p, 176, 92, "Version 0.1.0.1", Face(8, false), Qt::black);
        Text(p, 176, 111, "Copyright (C) Bramblin", Face(8, false), Qt::black);
        QFont link = Face(8, false);
        link.setUnderline(true);
        Text(p, 176, 130, "Home page", link, Qt::blue);
        p.setPen(QColor(160, 180, 210));
        p.setBrush(pal::Window);
        p.drawRect(32, 182, 433, 147);
        p.end();
        d.drawImage(540, 20, win);
    }
    return desk;
}

} // namespace kestrum::mkart
