#include "platform/qt/qt_dialog_units.h"

#include <QFontMetrics>
#include <QStringList>
#include <QStyleFactory>
#include <algorithm>
#include <cmath>

namespace ressona {

namespace {

constexpr double kScreenDotsPerInch = 96.0;
constexpr double kPointsPerInch = 72.0;
constexpr int kMarkLabelSpacing = 3;  // pixels between a check mark and its caption
constexpr int kThumbMinimum = 6;      // pixels: the shortest a scroll bar's thumb gets
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// a * b / c rounded to the nearest integer, halves away from zero.
int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont dialogFont(const DialogTemplate& dialog) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(std::lround(dialog.fontPoints * kScreenDotsPerInch /
                                                   kPointsPerInch)));
    return font;
}

DialogUnits DialogUnits::of(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
    // Twice the average width of 52 letters, halved with rounding up.
    return {(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::toPixelsX(int units) const { return mulDiv(units, baseX, 4); }

int DialogUnits::toPixelsY(int units) const { return mulDiv(units, baseY, 8); }

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    const int left = toPixelsX(x);
    const int top = toPixelsY(y);
    return {left, top, toPixelsX(x + width) - left, toPixelsY(y + height) - top};
}

QRect DialogUnits::toPixels(const ControlTemplate& control) const {
    return toPixels(control.x, control.y, control.width, control.height);
}

DialogStyle::DialogStyle(const QFont& font)
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))),
      markSize_(QFontMetrics(font).height()) {}

int DialogStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return std::min(markSize_, QProxyStyle::pixelMetric(metric, option, widget));
        case PM_CheckBoxLabelSpacing:
        case PM_RadioButtonLabelSpacing:
            return kMarkLabelSpacing;
        case PM_ScrollBarSliderMin:
            // Short bars keep a visible thumb between their arrows.
            return kThumbMinimum;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

QString visibleCaption(std::string_view caption) {
    QString shown;
    const QString text = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

QString wrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    QStringList lines;
    QString line;
    for (const QString& word : words) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty()) lines << line;
    return lines.join(u'\n');
}

}  // namespace ressona
