#include "skin/OrvImagePanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include "skin/OrvGraphics.h"

namespace kestrum {

TOrvImagePanel::TOrvImagePanel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TOrvImagePanel::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    update();
}
void TOrvImagePanel::SetTransparentColor(TColor value) {
    if (FTransparentColor == value) return;
    FTransparentColor = value;
    update();
}
void TOrvImagePanel::SetAutoSize(bool value) {
    FAutoSize = value;
    ApplyAutoSize();
}
void TOrvImagePanel::SetStretch(bool value) {
    if (FStretch == value) return;
    FStretch = value;
    update();
}
void TOrvImagePanel::SetPictureAlign(TOrvAlign value) {
    if (FPictureAlign == value) return;
    FPictureAlign = value;
    update();
}
void TOrvImagePanel::SetPictureX(int value) {
    if (FPictureX == value) return;
    FPictureX = value;
    update();
}
void TOrvImagePanel::SetPictureY(int value) {
    if (FPictureY == value) return;
    FPictureY = value;
    update();
}
void TOrvImagePanel::SetCaption(const QString& value) {
    if (FCaption == value) return;
    FCaption = value;
    update();
}
void TOrvImagePanel::SetColor(TColor value) {
    FColor = value;
    update();
}
void TOrvImagePanel::SetFontColor(const QColor& value) {
    FFontColor = value;
    update();
}
void TOrvImagePanel::SetBorderSingle(bool value) {
    FBorderSingle = value;
    setContentsMargins(value ? QMargins(1, 1, 1, 1) : QMargins());
    update();
}
void TOrvImagePanel::SetAlign(TPanelAlign value) {
    FAlign = value;
    ApplyAutoSize();
}

void TOrvImagePanel::SetPicture(const TOrvPicture& value) {
    if (value.Width() > 0) {
        FPicture = value;
        FImage = PictureToGdiBitmap(&FPicture);
    } else {
        FPicture = TOrvPicture();
        FImage = QImage();
    }
    ApplyAutoSize();
    update();
}

QSize TOrvImagePanel::ClientSize() const {
    return contentsRect().size();
}

void TOrvImagePanel::ApplyAutoSize() {
    if (!FAutoSize || FImage.isNull()) return;
    int w = width(), h = height();
    if (FAlign != alTop && FAlign != alBottom && FAlign != alClient) w = FImage.width();
    if (FAlign != alLeft && FAlign != alRight && FAlign != alClient) h = FImage.height();
    if (w != width() || h != height()) resize(w, h);
}

void TOrvImagePanel::resizeEvent(QResizeEvent* e) {
    ApplyAutoSize();
    QWidget::resizeEvent(e);
    update();
}

QStringList TOrvImagePanel::LayoutCaption(const QString& text, const QFont& font, QSize box) {
    QFontMetrics fm(font);
    int lineHeight = fm.height();
    int maxLines = std::max(1, box.height() / std::max(1, lineHeight));
    QStringList lines;
    const QStringList paragraphs = QString(text).replace(u"\r\n"_qs, u"\n"_qs).split(u'\n');
    bool cut = false;
    for (int pi = 0; pi < paragraphs.size() && !cut; ++pi) {
        QTextLayout layout(paragraphs[pi], font);
        QTextOption opt;
        opt.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(opt);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(box.width());
            if (int(lines.size()) == maxLines) {
                cut = true;
                break;
            }
            lines << paragraphs[pi].mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (int(lines.size()) == maxLines && pi + 1 < paragraphs.size()) cut = true;
    }
    if (cut && !lines.isEmpty()) {
        // The last visible line ends after its last whole word that fits together with the ellipsis.
        QString last = lines.last();
        const QString ellipsis = QStringLiteral("\u2026");
        while (!last.isEmpty() && fm.horizontalAdvance(last + ellipsis) > box.width()) {
            int space = last.lastIndexOf(u' ');
            last = space > 0 ? last.left(space).trimmed() : QString();
        }
        lines.last() = last + ellipsis;
    }
    return lines;
}

void TOrvImagePanel::PaintPicture(QPainter& g, const QImage& image) {
    int iw = image.width(), ih = image.height();
    if (iw == 0 || ih == 0) return;
    QSize client = ClientSize();
    QPoint at = AlignPanelItem(FPictureAlign, client, size(), {iw, ih}, {FPictureX, FPictureY});
    QRect dest(at, FStretch ? client : QSize(iw, ih));
    g.drawImage(dest, image, image.rect());
}

void TOrvImagePanel::PaintBorder(QPainter&) {}

void TOrvImagePanel::PaintCaption(QPainter& g, const QString& text) {
    if (!isVisible()) return;
    QFont f = FontToGdiFont(&font()).value_or(font());
    QColor color = isEnabled() ? FFontColor : ToQColor(clGrayText);
    color.setAlpha(255);
    QStringList lines = LayoutCaption(text, f, size());
    QFontMetrics fm(f);
    int total = int(lines.size()) * fm.height();
    int y = (height() - total) / 2;
    g.save();
    g.setFont(f);
    g.setPen(color);
    g.setRenderHint(QPainter::TextAntialiasing);
    for (const QString& line : lines) {
        g.drawText(QRect(0, y, width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, line);
        y += fm.height();
    }
    g.restore();
}

QImage TOrvImagePanel::ComposeSurface() {
    if (FImage.isNull() && FPicture.Width() > 0) FImage = PictureToGdiBitmap(&FPicture);
    QImage surface(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (FTransparent) {
        surface.fill(Qt::transparent);
        QPainter p(&surface);
        PaintParentBackground(p, this);
    } else {
        surface.fill(ToQColor(FColor));
    }
    QPainter g(&surface);
    if (!FImage.isNull()) PaintPicture(g, FImage);
    if (FBorderWidth > 0) PaintBorder(g);
    if (!FCaption.trimmed().isEmpty()) PaintCaption(g, FCaption);
    g.end();
    if (FTransparent) {
        // Pixels of the key colour are left out of the transfer.
        TColor k = ResolveColor(FTransparentColor);
        QRgb key = qRgb(k & 0xFF, k >> 8 & 0xFF, k >> 16 & 0xFF) & 0xFFFFFF;
        for (int y = 0; y < surface.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(surface.scanLine(y));
            for (int x = 0; x < surface.width(); ++x)
                if (qAlpha(row[x]) == 255 && (row[x] & 0xFFFFFF) == key) row[x] = 0;
        }
    }
    return surface;
}

void TOrvImagePanel::paintEvent(QPaintEvent*) {
    QImage surface = ComposeSurface();
    QPainter p(this);
    QRect client = contentsRect();
    if (FBorderSingle) {
        p.setPen(ToQColor(clGray));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    p.setClipRect(client);
    p.drawImage(client.topLeft(), surface);
}

void TOrvImagePanel::mousePressEvent(QMouseEvent* e) {
    if (FDraggable && e->button() == Qt::LeftButton) StartWindowMove(this, e->globalPosition());
    emit OnMouseDown(e);
}

void TOrvImagePanel::mouseReleaseEvent(QMouseEvent* e) {
    emit OnMouseUp(e);
}

void TOrvImagePanel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(e);
}

} // namespace kestrum
