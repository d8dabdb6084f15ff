#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "product_info.h"

namespace pressmark::gui {
namespace {

// A slide drawn as a white sheet with a title bar and two bullet lines.
void drawSheet(QPainter& p, const QRectF& r, const QColor& accent) {
    p.setPen(QPen(QColor(90, 90, 90), 1.0));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, 3, 3);
    const qreal m = r.width() * 0.1;
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRect(QRectF(r.left() + m, r.top() + m, r.width() - 2 * m, r.height() * 0.16));
    p.setBrush(QColor(180, 180, 180));
    for (int i = 0; i < 3; ++i) {
        const qreal y = r.top() + r.height() * (0.42 + 0.16 * i);
        p.drawRect(QRectF(r.left() + m, y, (r.width() - 2 * m) * (i == 2 ? 0.6 : 1.0), r.height() * 0.06));
    }
}

}  // namespace

QPixmap PanelPicture(QSize size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, size.height());
    background.setColorAt(0, QColor(245, 248, 252));
    background.setColorAt(1, QColor(222, 230, 240));
    p.fillRect(pixmap.rect(), background);

    const qreal w = size.height() * 0.42, h = w * 0.75;
    const QPointF c(size.width() / 2.0, size.height() * 0.42);
    drawSheet(p, QRectF(c.x() - w * 0.7, c.y() - h * 0.7, w, h), QColor(200, 90, 40));
    drawSheet(p, QRectF(c.x() - w * 0.3, c.y() - h * 0.3, w, h), QColor(46, 125, 50));

    QFont font = p.font();
    font.setPointSizeF(11);
    p.setFont(font);
    p.setPen(QColor(70, 80, 95));
    p.drawText(QRectF(0, size.height() * 0.78, size.width(), size.height() * 0.15), Qt::AlignCenter,
               QStringLiteral("Import presentations to convert them to PDF or PostScript"));
    return pixmap;
}

QPixmap SplashPicture(QSize size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, size.width(), size.height());
    background.setColorAt(0, QColor(27, 94, 32));
    background.setColorAt(1, QColor(56, 142, 60));
    p.fillRect(pixmap.rect(), background);

    const qreal w = size.height() * 0.45, h = w * 0.75;
    for (int i = 0; i < 3; ++i)
        drawSheet(p, QRectF(size.width() * 0.62 + 12 * i, size.height() * 0.22 + 12 * i, w, h),
                  QColor(200, 90, 40));

    p.setPen(Qt::white);
    QFont title = p.font();
    title.setPointSizeF(28);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRectF(28, size.height() * 0.28, size.width() * 0.6, 60), Qt::AlignLeft | Qt::AlignVCenter,
               kProductName);
    QFont small = p.font();
    small.setPointSizeF(10);
    small.setBold(false);
    p.setFont(small);
    p.drawText(QRectF(30, size.height() * 0.28 + 58, size.width() * 0.6, 40), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Presentations to PDF and PostScript\n") + kProductVersionText);
    return pixmap;
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/pressmark/slidepress.png")); }

}  // namespace pressmark::gui
