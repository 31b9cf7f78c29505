#include "platform/qt/qt_artwork.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <vector>

#include "platform/qt/qt_skin.h"
#include "resources/artwork.h"

namespace ressona {

namespace {

QColor colour(const artwork::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QPolygon polyline(const std::vector<artwork::Point>& points) {
    QPolygon polygon;
    for (const artwork::Point& p : points) polygon << QPoint(p.x, p.y);
    return polygon;
}

}  // namespace

QImage logoImage() {
    using namespace artwork;
    QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
    image.fill(colour(kNavy));
    QPainter painter(&image);
    const std::vector<Point> trace = logoTrace();
    const int baseline = trace.front().y;
    painter.setPen(colour(kGrey));
    painter.drawLine(trace.front().x, baseline, trace.back().x, baseline);
    painter.setPen(colour(kYellow));
    painter.drawPolyline(polyline(trace));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(kLogoNamePixels);
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    painter.setPen(colour(kWhite));
    const QRect nameArea(0, kLogoTraceBottom, kLogoWidth, kLogoNameBottom - kLogoTraceBottom);
    painter.drawText(nameArea, Qt::AlignCenter, QString::fromLatin1(kLogoName.data(),
                                                                    kLogoName.size()));
    return image;
}

QImage iconImage(int side) {
    using namespace artwork;
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour(kNavy));
    const qreal corner = side / 6.0;
    painter.drawRoundedRect(QRectF(0, 0, side, side), corner, corner);
    const std::vector<Point> trace = iconTrace(side);
    QPen pen(colour(kYellow));
    pen.setWidthF(side >= 32 ? 2.0 : 1.0);
    painter.setPen(pen);
    painter.drawPolyline(polyline(trace));
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (int side : artwork::kIconSizes) icon.addPixmap(QPixmap::fromImage(iconImage(side)));
    return icon;
}

bool saveQtIcon(const std::string& path, int side) {
    if (side < 1) return false;
    return iconImage(side).save(QString::fromStdString(path), "PNG");
}

}  // namespace ressona
