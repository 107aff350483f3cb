#include "app/pages/KSUsageChart.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrum {

namespace {

// RGB(230, 240, 255): the window's own colour.
const QColor Background(230, 240, 255);
const QColor AxisColor(128, 128, 128);
const QColor GridColor(160, 160, 160);
constexpr int MarginLeft = 5, MarginRight = 10, MarginTop = 10, MarginBottom = 0;
constexpr int LineWidth = 3;
constexpr int BoxSize = 11; // legend check box
constexpr int SwatchWidth = 18;
// Columns left of the previous newest point that the new segment can reach: half the line width, rounded up,
// and one for the rasterizer's rounding.
constexpr int JoinMargin = LineWidth / 2 + 2;
constexpr int GridDotSpacing = 3;
// Pixels of an unchanged part worth sending along to save the display server a request of its own.
constexpr int DamageSlack = 1024;

// Where a and b first (last) differ among their n pixels; -1 when they do not. The library's comparison
// takes whole rows at vector width: most rows of a plot are plain white and are done in one call.
constexpr int DiffChunk = 32;

int FirstDifference(const uint32_t* a, const uint32_t* b, int n) {
    if (std::memcmp(a, b, size_t(n) * sizeof(uint32_t)) == 0) return -1;
    int x = 0;
    while (x + DiffChunk <= n && std::memcmp(a + x, b + x, DiffChunk * sizeof(uint32_t)) == 0) x += DiffChunk;
    for (; x < n; ++x)
        if (a[x] != b[x]) return x;
    return -1;
}

int LastDifference(const uint32_t* a, const uint32_t* b, int n) {
    int x = n;
    while (x - DiffChunk >= 0 && std::memcmp(a + x - DiffChunk, b + x - DiffChunk, DiffChunk * sizeof(uint32_t)) == 0)
        x -= DiffChunk;
    for (--x; x >= 0; --x)
        if (a[x] != b[x]) return x;
    return -1;
}

} // namespace

void AddPlotInk(const QImage& image, int left, int right, std::vector<TPlotInk>& ink) {
    ink.resize(size_t(image.height()));
    left = std::max(left, 0);
    right = std::min(right, image.width() - 1);
    constexpr uint32_t white = 0xffffffffu;
    for (int y = 0; y < image.height() && left <= right; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        int first = left, last = right;
        while (first <= right && row[first] == white) ++first;
        if (first > right) continue;
        while (row[last] == white) --last;
        TPlotInk& span = ink[size_t(y)];
        span.Left = span.Empty() ? first : std::min(span.Left, first);
        span.Right = std::max(span.Right, last);
    }
}

QRegion ChangedRows(const QImage& before, const QImage& after, const QRect& area) {
    QRegion changed;
    if (before.size() != area.size() || before.format() != after.format() || after.depth() != 32) return area;
    const size_t bytes = size_t(area.width()) * sizeof(uint32_t);
    int first = -1; // the first row of the band of changed rows being gathered
    for (int y = 0; y <= area.height(); ++y) {
        const bool differs = y < area.height() &&
                             std::memcmp(before.constScanLine(y),
                                         after.constScanLine(area.top() + y) + area.left() * sizeof(uint32_t), bytes);
        if (differs && first < 0) first = y;
        if (!differs && first >= 0) {
            changed += QRect(area.left(), area.top() + first, area.width(), y - first);
            first = -1;
        }
    }
    return changed;
}

QRegion ScrollPlotImage(QImage& image, int step, std::vector<TPlotInk>& ink) {
    QRegion changed;
    const int w = image.width() - 1; // column 0, the axis, stays
    const int n = w - step;          // the columns that receive a moved pixel; the rest is drawn anew
    if (step <= 0 || n <= 0 || image.depth() != 32) return changed;
    ink.resize(size_t(image.height()));
    // Neighbouring rows with like spans go as one rectangle; a row unlike the rectangle so far starts its own.
    QRect band;
    int64_t bandPixels = 0; // of the band's area, those that changed
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y)) + 1;
        // Pixel x changes when the one `step` columns to its right differs from it: where both are white it
        // does not, so only the ink and the step left of it are looked at.
        TPlotInk& inked = ink[size_t(y)];
        if (inked.Empty()) continue;
        const int lo = std::max(0, inked.Left - 1 - step), hi = std::min(n - 1, inked.Right - 1);
        inked.Left = std::max(1, inked.Left - step);
        inked.Right -= step;
        if (lo > hi) continue;
        // A row that repeats every `step` columns (plain white, a level line) reads the same after the move.
        const int first = FirstDifference(row + lo, row + lo + step, hi - lo + 1);
        if (first < 0) continue;
        const int last = LastDifference(row + lo, row + lo + step, hi - lo + 1);
        std::memmove(row + lo + first, row + lo + first + step, size_t(last - first + 1) * sizeof(uint32_t));
        const QRect span(lo + first + 1, y, last - first + 1, 1);
        const QRect joined = band.united(span);
        if (!band.isEmpty() && band.bottom() == y - 1 &&
            int64_t(joined.width()) * joined.height() - bandPixels - span.width() <= DamageSlack) {
            band = joined;
            bandPixels += span.width();
            continue;
        }
        if (!band.isEmpty()) changed += band;
        band = span;
        bandPixels = span.width();
    }
    if (!band.isEmpty()) changed += band;
    return changed;
}

TKSUsageChart::TKSUsageChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chtOverview"));
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted: nothing behind needs drawing first
    const QColor colors[SeriesCount] = {QColor(0, 255, 0), QColor(0, 0, 255), QColor(255, 128, 64),
                                        QColor(200, 0, 120)};
    for (int i = 0; i < SeriesCount; ++i) {
        FSeries[i].Color = colors[i];
        FSeries[i].Title = QStringLiteral("-- %    ");
    }
    FSeries[SeriesPressure].Present = false;
}

void TKSUsageChart::SetTitle(const QString& title) {
    if (title == FTitle) return;
    FTitle = title;
    FLayoutValid = false;
    update();
}

void TKSUsageChart::SetSeriesTitle(int series, const QString& title) {
    if (series < 0 || series >= SeriesCount || FSeries[series].Title == title) return;
    const int before = LegendEntryWidth(series);
    qsizetype same = 0;
    const QString& old = FSeries[series].Title;
    while (same < title.size() && same < old.size() && title[same] == old[same]) ++same;
    FSeries[series].Title = title;
    FSeries[series].EntryWidth = -1;
    // Most ticks change a figure and nothing else: only that title is painted again. A title that needs
    // another width moves the entries beside it.
    if (FSeries[series].Present && LegendEntryWidth(series) == before) {
        // From the piece where the title starts to read differently: mostly the figure's last digit.
        const int from = BoxSize + 4 + SwatchWidth + 4 +
                         int(std::floor(FTexts.PieceStart(title, same, font()) - TKSTextCache::Overhang));
        update(LegendEntryRect(series).adjusted(std::max(0, from), 0, 0, 0));
    } else
        update(FLegend);
}

void TKSUsageChart::SetSeriesVisible(int series, bool visible) {
    if (series < 0 || series >= SeriesCount || FSeries[series].Visible == visible) return;
    FSeries[series].Visible = visible;
    FPlotShows = WholePlot;
    update();
    emit SeriesVisibilityChanged(series, visible);
}

void TKSUsageChart::AddPoints(int cpu, int memory, int pageFile, int pressure) {
    bool redraw = false;
    if (pressure >= 0 && !FSeries[SeriesPressure].Present) {
        FSeries[SeriesPressure].Present = true;
        redraw = true; // a new line across the plot and a new legend entry
    }
    const int values[SeriesCount] = {cpu, memory, pageFile, std::max(pressure, 0)};
    int slot;
    if (FCount < Capacity) {
        slot = (FHead + FCount) % Capacity;
        ++FCount;
    } else {
        slot = FHead; // the oldest point, long out of sight, makes room
        FHead = (FHead + 1) % Capacity;
    }
    for (int i = 0; i < SeriesCount; ++i) FSeries[i].Values[slot] = int16_t(std::clamp(values[i], -30000, 30000));
    ++FAdded;
    ++FAxisMin;
    ++FAxisMax;
    const int step = LastStep();
    if (redraw) update(FLegend);
    // The plot's picture moves left by whole columns; only the strip it leaves, and the columns around the
    // previous newest point where its end cap becomes a join, are drawn. Moved here rather than on the display
    // server: the server would copy the plot twice (within its own copy of the window, then onto the screen).
    if (!redraw && isVisible() && FPlotShows == FAdded - 2 && step > 0 && step < FPlotImage.width() / 2 &&
        FPlotImage.devicePixelRatio() == 1.0) {
        // Only what reads differently after the move goes to the display, and what the strip draws anew.
        const QRegion moved = ScrollPlotImage(FPlotImage, step, FPlotInk).translated(FPlot.topLeft());
        FPlotShows = FAdded - 1;
        const QRect strip(FPlot.right() - step - JoinMargin, FPlot.top(), step + JoinMargin + 1, FPlot.height());
        // Of the strip, only the rows the drawing changed: mostly those the lines run through.
        const QRect local = (strip & FPlot).translated(-FPlot.topLeft());
        const QImage before = FPlotImage.copy(local);
        DrawPlot(strip);
        FLastDamage = moved + ChangedRows(before, FPlotImage, local).translated(FPlot.topLeft());
        update(FLastDamage);
        return;
    }
    FPlotShows = WholePlot; // drawn whole at the next paint
    FLastDamage = FPlot;
    update(FPlot);
}

void TKSUsageChart::DrawPlot(const QRect& area) {
    FDrawnStrip = area & FPlot;
    {
        QPainter p(&FPlotImage);
        p.translate(-FPlot.topLeft());
        p.setClipRect(FDrawnStrip);
        PaintPlotArea(p, FDrawnStrip, FPlotImage.devicePixelRatio() != 1.0);
        PaintLines(p, FDrawnStrip);
    }
    // Where the picture has ink, for the next move; a whole drawing starts the record afresh.
    const QRect drawn = FDrawnStrip.translated(-FPlot.topLeft());
    if (FDrawnStrip == FPlot) FPlotInk.assign(size_t(FPlotImage.height()), TPlotInk{});
    AddPlotInk(FPlotImage, drawn.left(), drawn.right(), FPlotInk);
}

int64_t TKSUsageChart::Offset(int64_t index) const {
    // Rounded to whole pixels, so that 200 points span the plot exactly and a step is 3 or 4 columns wide.
    return (std::max<int64_t>(index, 0) * (FPlot.width() - 1) + AxisSpan / 2) / AxisSpan;
}

int TKSUsageChart::LastStep() const {
    if (FAdded < 2) return 0;
    const_cast<TKSUsageChart*>(this)->Layout();
    return int(Offset(FAdded - 1) - Offset(FAdded - 2));
}

bool TKSUsageChart::PointAt(int series, int64_t x, int& value) const {
    // The newest point sits at the axis maximum; older ones one to the left each.
    const int64_t back = FAxisMax - x;
    if (series < 0 || series >= SeriesCount || back < 0 || back >= FCount) return false;
    value = FSeries[series].Values[(FHead + FCount - 1 - int(back)) % Capacity];
    return true;
}

QRect TKSUsageChart::PlotRect() const {
    const_cast<TKSUsageChart*>(this)->Layout();
    return FPlot;
}

QRect TKSUsageChart::LegendBoxRect(int series) const {
    const_cast<TKSUsageChart*>(this)->Layout();
    int total = 0;
    for (int i = 0; i < SeriesCount; ++i)
        if (FSeries[i].Present) total += LegendEntryWidth(i);
    int x = FLegend.left() + (FLegend.width() - total) / 2;
    for (int i = 0; i < series; ++i)
        if (FSeries[i].Present) x += LegendEntryWidth(i);
    return QRect(x, FLegend.center().y() - BoxSize / 2, BoxSize, BoxSize);
}

QRect TKSUsageChart::LegendEntryRect(int series) const {
    const QRect box = LegendBoxRect(series);
    return QRect(box.left() - 2, FLegend.top(), LegendEntryWidth(series), FLegend.height());
}

int TKSUsageChart::LegendEntryWidth(int series) const {
    // Measured again only when the title or the font changed: the legend is laid out at every paint.
    int& width = FSeries[series].EntryWidth;
    if (width >= 0) return width;
    // Room for the widest figure, so the entries do not jump as the numbers change.
    // The title's width from the laid-out text that paints it: a new title is shaped once.
    const int text = std::max(int(std::ceil(FTexts.Width(FSeries[series].Title, font()))), FigureWidth());
    width = BoxSize + 4 + SwatchWidth + 4 + text + 16;
    return width;
}

int TKSUsageChart::FigureWidth() const {
    if (FFigureWidth < 0) FFigureWidth = QFontMetrics(font()).horizontalAdvance(QStringLiteral("MEM: 100 %    "));
    return FFigureWidth;
}

void TKSUsageChart::Layout() {
    if (FLayoutValid) return;
    const QFontMetrics fm(font());
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics bm(bold);
    const int titleH = FTitle.isEmpty() ? 0 : bm.height() + 6;
    const int legendH = fm.height() + 8;
    const int labelW = fm.horizontalAdvance(QStringLiteral("100")) + 8;
    const int top = MarginTop + titleH + fm.height() / 2;
    const int bottom = height() - MarginBottom - legendH - 4;
    FPlot = QRect(QPoint(MarginLeft + labelW, top), QPoint(width() - MarginRight - 1, std::max(top + 1, bottom)));
    FLegend = QRect(MarginLeft, height() - MarginBottom - legendH, width() - MarginLeft - MarginRight, legendH);
    FLayoutValid = true;
    FFrame = QPixmap();
}

void TKSUsageChart::ComposeFrame() {
    Layout();
    const qreal dpr = devicePixelRatioF();
    FFrame = QPixmap(size() * dpr);
    FFrame.setDevicePixelRatio(dpr);
    FFrame.fill(Background);
    QPainter p(&FFrame);
    p.setFont(font());
    const QFontMetrics fm(font());
    if (!FTitle.isEmpty()) {
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(Qt::black);
        p.drawText(QRect(MarginLeft, MarginTop, width() - MarginLeft - MarginRight, QFontMetrics(bold).height()),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, FTitle);
        p.setFont(font());
    }
    // Left axis 0..100, a tick every 10. The plot itself (white, axis lines, grid) is never shown from the frame.
    for (int v = 0; v <= 100; v += 10) {
        const int y = GridRowY(v);
        p.setPen(AxisColor);
        p.drawLine(FPlot.left() - 4, y, FPlot.left(), y);
        p.setPen(Qt::black);
        p.drawText(QRect(MarginLeft, y - fm.height() / 2, FPlot.left() - MarginLeft - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }
}

// The white plot area with the two axis lines, inside `clip`. Drawn afresh rather than copied from the composed
// frame: a copy that large goes to the painter's worker threads and wakes them.
void TKSUsageChart::PaintPlotArea(QPainter& p, const QRect& clip, bool grid) const {
    p.fillRect(clip & FPlot, Qt::white);
    const int x0 = std::max(FPlot.left() + 1, clip.left()), x1 = std::min(FPlot.right(), clip.right());
    for (int v = 10; v < 100 && grid && x1 >= x0; v += 10) {
        const int y = GridRowY(v);
        if (y >= clip.top() && y <= clip.bottom())
            p.drawImage(QPoint(x0, y), GridDots(), QRect(x0 - FPlot.left(), 0, x1 - x0 + 1, 1));
    }
    p.setPen(AxisColor);
    if (clip.left() <= FPlot.left()) p.drawLine(FPlot.bottomLeft(), FPlot.topLeft());
    if (clip.bottom() >= FPlot.bottom())
        p.drawLine(QPoint(std::max(FPlot.left(), clip.left()), FPlot.bottom()),
                   QPoint(std::min(FPlot.right(), clip.right()), FPlot.bottom()));
}

const QImage& TKSUsageChart::GridDots() const {
    if (FGridDots.width() != FPlot.width()) {
        FGridDots = QImage(std::max(1, FPlot.width()), 1, QImage::Format_RGB32);
        FGridDots.fill(Qt::white);
        for (int x = 1; x < FGridDots.width(); x += GridDotSpacing) FGridDots.setPixel(x, 0, GridColor.rgb());
    }
    return FGridDots;
}

// The dotted grid keeps its place while the lines move left under it. Laid over the picture's white only, at
// paint time: in the picture a dotted row would read differently after every step, and be moved and sent whole.
void TKSUsageChart::LayGrid(QPainter& p, const QRegion& region) const {
    const int x0 = FPlot.left() + 1;
    if (FGridRow.width() != FPlot.width()) FGridRow = QImage(std::max(1, FPlot.width()), 1, QImage::Format_RGB32);
    const auto* dots = reinterpret_cast<const uint32_t*>(GridDots().constScanLine(0));
    for (int v = 10; v < 100; v += 10) {
        const int y = GridRowY(v);
        const QRect line(x0, y, FPlot.right() - x0 + 1, 1);
        if (!region.intersects(line)) continue;
        const auto* picture = reinterpret_cast<const uint32_t*>(FPlotImage.constScanLine(y - FPlot.top()));
        auto* row = reinterpret_cast<uint32_t*>(FGridRow.scanLine(0));
        for (const QRect& r : region & line) {
            for (int x = r.left(); x <= r.right(); ++x) {
                const uint32_t px = picture[x - FPlot.left()];
                row[x - FPlot.left()] = px == 0xffffffffu ? dots[x - FPlot.left()] : px;
            }
            p.drawImage(r.topLeft(), FGridRow, QRect(r.left() - FPlot.left(), 0, r.width(), 1));
        }
    }
}

// The series' lines inside `clip`, from the points that reach it.
void TKSUsageChart::PaintLines(QPainter& p, const QRect& clip) const {
    if (FCount == 0) return;
    p.save();
    p.setClipRect(FPlot.adjusted(1, 0, 0, 0), Qt::IntersectClip);
    // Drawn without smoothing: the smoothed wide lines cost three times as much to draw, once a second.
    p.setRenderHint(QPainter::Antialiasing, false);
    const double sy = double(FPlot.height() - 1) / 100.0;
    const int64_t newest = FAdded - 1;
    const int64_t right = Offset(newest);
    // Points back to the first one left of the clip by more than a line width, so the line reaches its edge.
    int n = 0;
    while (n < FCount) {
        ++n;
        if (FPlot.right() - (right - Offset(newest - (n - 1))) < clip.left() - 2 * LineWidth) break;
    }
    QPolygonF line;
    line.reserve(n);
    for (int i = 0; i < SeriesCount; ++i) {
        const TSeries& s = FSeries[i];
        if (!s.Visible || !s.Present) continue;
        line.clear();
        // The inner points of a level stretch are left out: they draw nothing the stretch's ends do not, and
        // each point of a wide line costs a join. Memory and swap lines are level most of the time.
        for (int k = 0; k < n; ++k) {
            const int back = n - 1 - k;
            const int v = s.Values[(FHead + FCount - 1 - back) % Capacity];
            const QPointF point(double(FPlot.right() - (right - Offset(newest - back))), FPlot.bottom() - v * sy);
            if (line.size() >= 2 && line.last().y() == point.y() && line[line.size() - 2].y() == point.y())
                line.last() = point;
            else
                line.append(point);
        }
        p.setPen(QPen(s.Color, LineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(line);
    }
    p.restore();
}

// The legend's entries that reach `dirty`.
void TKSUsageChart::PaintLegend(QPainter& p, const QRect& dirty) const {
    const QFontMetrics fm(font());
    for (int i = 0; i < SeriesCount; ++i) {
        if (!FSeries[i].Present || !LegendEntryRect(i).intersects(dirty)) continue;
        const QRect box = LegendBoxRect(i);
        const int sx = box.right() + 5;
        // A new figure repaints only its title: the box, its smoothed tick and the swatch stay as they are.
        if (dirty.left() <= sx + SwatchWidth) {
            p.setPen(AxisColor);
            p.setBrush(Qt::white);
            p.drawRect(box.adjusted(0, 0, -1, -1));
        }
        if (FSeries[i].Visible && dirty.left() <= box.right()) {
            p.setPen(QPen(Qt::black, 1.6));
            p.setRenderHint(QPainter::Antialiasing, true);
            p.drawPolyline(QPolygonF({QPointF(box.left() + 2.5, box.center().y() + 0.5),
                                      QPointF(box.left() + 4.5, box.bottom() - 2.0),
                                      QPointF(box.right() - 2.0, box.top() + 2.5)}));
            p.setRenderHint(QPainter::Antialiasing, false);
        }
        p.fillRect(QRect(sx, box.center().y() - 1, SwatchWidth, LineWidth), FSeries[i].Color);
        p.setPen(Qt::black);
        FTexts.Draw(p, QPointF(sx + SwatchWidth + 4, FLegend.top() + (FLegend.height() - fm.height()) / 2),
                    FSeries[i].Title, font(), dirty.left());
    }
}

void TKSUsageChart::paintEvent(QPaintEvent* event) {
    Layout();
    if (FFrame.isNull() || FFrame.size() != size() * devicePixelRatioF()) ComposeFrame();
    QPainter p(this);
    p.setClipRegion(event->region());
    // The frame only where neither the plot nor the legend goes: a tick's update is those two, drawn below.
    for (const QRect& r : event->region().subtracted(QRegion(FPlot).united(FLegend)))
        p.drawPixmap(r.topLeft(), FFrame,
                     QRectF(QPointF(r.topLeft()) * devicePixelRatioF(), QSizeF(r.size()) * devicePixelRatioF()));
    if (event->region().intersects(FPlot)) {
        const qreal dpr = devicePixelRatioF();
        if (FPlotImage.size() != FPlot.size() * dpr || FPlotImage.devicePixelRatio() != dpr) {
            FPlotImage = QImage(FPlot.size() * dpr, QImage::Format_RGB32);
            FPlotImage.setDevicePixelRatio(dpr);
            FPlotShows = WholePlot;
        }
        if (FPlotShows != FAdded - 1) {
            FPlotShows = FAdded - 1;
            DrawPlot(FPlot);
        }
        // In bands of rows: a single copy this large goes to the painter's worker threads and wakes them.
        const int band = 64;
        for (int y = 0; y < FPlot.height(); y += band) {
            const QRect rows(0, y, FPlot.width(), std::min(band, FPlot.height() - y));
            if (event->region().intersects(rows.translated(FPlot.topLeft())))
                p.drawImage(rows.topLeft() + FPlot.topLeft(), FPlotImage,
                            QRectF(QPointF(rows.topLeft()) * dpr, QSizeF(rows.size()) * dpr));
        }
        if (dpr == 1.0) LayGrid(p, event->region());
    }
    const QRect legend = (event->region() & FLegend).boundingRect();
    if (!legend.isEmpty()) {
        p.fillRect(legend, Background);
        PaintLegend(p, legend);
    }
}

void TKSUsageChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FLayoutValid = false;
}

void TKSUsageChart::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FLayoutValid = false;
        FFigureWidth = -1;
        for (TSeries& s : FSeries) s.EntryWidth = -1;
    }
}

void TKSUsageChart::mousePressEvent(QMouseEvent* event) {
    for (int i = 0; i < SeriesCount; ++i) {
        if (!FSeries[i].Present) continue;
        // The whole legend entry (box, swatch, title) toggles its series, as a check box's label does.
        QRect entry = LegendBoxRect(i);
        entry.setRight(entry.left() + LegendEntryWidth(i) - 16);
        if (entry.adjusted(-2, -4, 2, 4).contains(event->position().toPoint())) {
            SetSeriesVisible(i, !FSeries[i].Visible);
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

} // namespace kestrum
