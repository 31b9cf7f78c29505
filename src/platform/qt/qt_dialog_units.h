#pragma once
// Private to the Qt skin. Dialog units to pixels, from the font that draws the
// dialog: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height, as dialog layouts have always
// been measured. The dialog's font and a widget style whose check marks and
// spacings are scaled to that font come from here too.

#include <QFont>
#include <QProxyStyle>
#include <QRect>
#include <QString>

#include "resources/dialog_template.h"

class QFontMetrics;

namespace ressona {

// The dialog's font: DejaVu Sans (a small sans font every Linux desktop has),
// at the template's point size on a 96 dots-per-inch screen.
QFont dialogFont(const DialogTemplate& dialog);

struct DialogUnits {
    int baseX = 0;  // average character width, pixels
    int baseY = 0;  // character height, pixels

    static DialogUnits of(const QFont& font);
    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    // The rectangle's corners are converted, so neighbours stay flush.
    QRect toPixels(int x, int y, int width, int height) const;
    QRect toPixels(const ControlTemplate& control) const;
};

// Fusion, with check marks and radio marks no taller than a line of the dialog
// font and label spacings to match, so a caption fits a box of small height,
// and with thumbs that still show on short scroll bars.
class DialogStyle final : public QProxyStyle {
public:
    explicit DialogStyle(const QFont& font);
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

private:
    int markSize_ = 0;
};

// The caption with "&" mnemonics resolved ("E&xit" -> "Exit", "&&" -> "&").
QString visibleCaption(std::string_view caption);
// Breaks text at spaces into lines no wider than `width` pixels where possible.
QString wrapToWidth(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace ressona
