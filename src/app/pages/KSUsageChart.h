#pragma once
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

#include "app/pages/KSTextCache.h"

namespace kestrum {

// The Usage page's line chart: three series against a fixed 0–100 left axis and a bottom axis that scrolls
// by one point a second. Drawn with QPainter: the frame (title, axis labels) is composed once per size and
// language. A tick does not draw the plot again: every point lies a whole number of pixels from the first
// one, so what is drawn moves by whole columns: the plot's picture is moved and only the strip with the new
// segment is drawn into it. The grid's dots move with the lines, so the scrolled
// pixels are exactly what a full drawing gives. Only the points that can be seen, plus a small margin, are
// kept, so the chart's memory stays flat however long the program runs.
// A fourth series, memory pressure, joins once the system has measured it.
// Where a row of a plot picture has anything but white: columns Left to Right; none when Left > Right.
struct TPlotInk {
    int Left = 1, Right = 0;
    bool Empty() const { return Left > Right; }
};

// Records in `ink` (a span a row) where columns `left` to `right` of a 32-bit plot picture are not white.
void AddPlotInk(const QImage& image, int left, int right, std::vector<TPlotInk>& ink);

// Moves every row of a 32-bit plot picture `step` columns to the left, except column 0 (the axis); the
// rightmost `step` columns keep what they had, to be drawn anew. Returns what now reads differently, in the
// picture's coordinates, in bands of a few rows. Only the spans of `ink` are looked at (the rest is white),
// and they move along.
QRegion ScrollPlotImage(QImage& image, int step, std::vector<TPlotInk>& ink);

// The rows of `area` (in `after`'s coordinates) where `after` differs from `before`, a copy of that area taken
// earlier, as bands of whole rows.
QRegion ChangedRows(const QImage& before, const QImage& after, const QRect& area);

class TKSUsageChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int SeriesCount = 4;
    // The memory pressure series: in the legend and drawn only once it has had a figure.
    static constexpr int SeriesPressure = 3;
    // The visible span of the bottom axis.
    static constexpr int64_t AxisSpan = 200;
    // Points kept per series: the visible ones and a margin.
    static constexpr int Capacity = 256;

    explicit TKSUsageChart(QWidget* parent = nullptr);

    void SetTitle(const QString& title);
    QString Title() const { return FTitle; }
    void SetSeriesTitle(int series, const QString& title);
    QString SeriesTitle(int series) const { return FSeries[series].Title; }
    QColor SeriesColor(int series) const { return FSeries[series].Color; }
    // The legend's check box of a series; an unticked series is not drawn.
    void SetSeriesVisible(int series, bool visible);
    bool SeriesVisible(int series) const { return FSeries[series].Visible; }

    // Adds one point to each series at x = the axis maximum + 1, then scrolls the axis by one. A negative
    // pressure means none was measured.
    void AddPoints(int cpu, int memory, int pageFile, int pressure = -1);
    // Whether the series is part of the chart (the pressure series once it has had a figure).
    bool SeriesPresent(int series) const { return FSeries[series].Present; }

    int64_t AxisMin() const { return FAxisMin; }
    int64_t AxisMax() const { return FAxisMax; }
    // Points added so far, and those still held (the newest, at most Capacity).
    int64_t PointsAdded() const { return FAdded; }
    int PointsHeld() const { return FCount; }
    // The held point of a series at axis position x; false when it is not held.
    bool PointAt(int series, int64_t x, int& value) const;

    // Where the lines are drawn and where a series' legend check box lies, in widget coordinates.
    QRect PlotRect() const;
    QRect LegendBoxRect(int series) const;
    // The columns the newest point moved the plot by (3 or 4 at the usual size; 0 before there are two points).
    int LastStep() const;
    // What the latest drawing of the plot covered: the strip of a tick, or the whole plot.
    QRect DrawnStrip() const { return FDrawnStrip; }
    // What the latest point asked to be shown again (widget coordinates): the strip and the moved pixels
    // that read differently, or the whole plot.
    QRegion LastDamage() const { return FLastDamage; }

signals:
    void SeriesVisibilityChanged(int series, bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct TSeries {
        QString Title;
        QColor Color;
        bool Visible = true;
        bool Present = true;
        std::array<int16_t, Capacity> Values{}; // ring buffer
        mutable int EntryWidth = -1;            // the legend entry's width; -1: to be measured
    };

    void Layout();
    void ComposeFrame();
    void PaintLegend(QPainter& p, const QRect& dirty) const;
    // `grid`: the dotted grid goes into the picture too (a picture drawn whole at every tick); otherwise
    // LayGrid lays it at paint time.
    void PaintPlotArea(QPainter& p, const QRect& clip, bool grid) const;
    void LayGrid(QPainter& p, const QRegion& region) const;
    // One grid line as wide as the plot: white, with the dots where they stay.
    const QImage& GridDots() const;
    // The plot's rows (widget coordinates) that carry a grid line.
    int GridRowY(int value) const { return FPlot.bottom() - (FPlot.height() - 1) * value / 100; }
    void PaintLines(QPainter& p, const QRect& clip) const;
    // Draws `area` (widget coordinates) of the plot into its picture.
    void DrawPlot(const QRect& area);
    int LegendEntryWidth(int series) const;
    // Room for the widest figure, so the entries do not jump as the numbers change.
    int FigureWidth() const;
    QRect LegendEntryRect(int series) const;
    // Where point number `index` lies, in whole pixels from point 0, at the plot's current width.
    int64_t Offset(int64_t index) const;

    QString FTitle;
    std::array<TSeries, SeriesCount> FSeries;
    int64_t FAxisMin = 0, FAxisMax = AxisSpan;
    int64_t FAdded = 0;
    int FHead = 0;           // ring index of the oldest held point
    int FCount = 0;          // points held
    QPixmap FFrame;          // background, title, axis
    mutable QImage FGridDots; // see GridDots
    mutable QImage FGridRow;  // one grid line as laid over the picture
    QImage FPlotImage;       // the plot as shown: moved a step each tick, then the new strip drawn
    // The newest point the picture shows, or WholePlot: to be drawn whole. Not -1, which is also "no point yet":
    // a picture made before the first sample would never have been drawn, and showed black.
    static constexpr int64_t WholePlot = INT64_MIN;
    int64_t FPlotShows = WholePlot;
    QRect FDrawnStrip;
    QRegion FLastDamage;
    std::vector<TPlotInk> FPlotInk; // where the plot's picture is not white, row by row
    mutable TKSTextCache FTexts;
    mutable int FFigureWidth = -1;
    QRect FPlot, FLegend;
    bool FLayoutValid = false;
};

} // namespace kestrum
