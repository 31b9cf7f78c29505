#include "platform/qt/qt_dialog_builder.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>

#include "platform/qt/qt_artwork.h"

namespace ressona {

namespace {

constexpr int kButtonTextMargin = 6;  // pixels a push button keeps free left and right
constexpr int kIconPixels = 32;       // an icon control shows the icon at this size
constexpr int kTitleIndent = 6;       // pixels from a group box's left edge to its title
constexpr int kTitlePad = 2;          // pixels of frame left open each side of the title

// A group box drawn the way dialogs draw them: an etched frame from half a
// line down, its title breaking the frame's top edge.
class GroupFrame final : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.translated(1, 1).adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        if (title().isEmpty()) return;
        const QRect caption(kTitleIndent, 0, metrics.horizontalAdvance(title()) + 2 * kTitlePad,
                            metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

// Radio buttons and check boxes answer a click anywhere in their rectangle,
// not only on the mark and the caption.
template <typename Button>
class WholeBoxButton final : public Button {
public:
    using Button::Button;

protected:
    bool hitButton(const QPoint& at) const override { return this->rect().contains(at); }
};

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::Alignment horizontalAlignment(std::uint32_t style) {
    if (style & kCentred) return Qt::AlignHCenter;
    if (style & kRightAligned) return Qt::AlignRight;
    return Qt::AlignLeft;
}

QWidget* makePushButton(const ControlTemplate& c, QWidget* parent, const QFont& font, int width) {
    auto* button = new QPushButton(buttonCaption(c, c.caption, font, width), parent);
    // Return in an edit must reach the edit, never click a button.
    button->setAutoDefault(false);
    button->setDefault((c.style & kDefaultButton) != 0);
    button->setCheckable(c.kind == ControlKind::PushLikeCheckBox);
    return button;
}

QWidget* makeEdit(const ControlTemplate& c, QWidget* parent) {
    auto* edit = new QLineEdit(fromView(c.caption), parent);
    edit->setAlignment(horizontalAlignment(c.style) | Qt::AlignVCenter);
    if (c.style & kDigitsOnly) {
        edit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    // Files dropped here belong to the dialog, not to the edit's text.
    edit->setAcceptDrops(false);
    return edit;
}

QWidget* makeText(const ControlTemplate& c, QWidget* parent) {
    auto* label = new QLabel(fromView(c.caption), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(horizontalAlignment(c.style) | Qt::AlignTop);
    if (c.style & kSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

QWidget* makePicture(const ControlTemplate& c, QWidget* parent) {
    auto* label = new QLabel(parent);
    // A picture control takes the picture's own size at its top-left corner.
    const QPixmap picture = c.kind == ControlKind::Icon
                                ? programIcon().pixmap(kIconPixels, kIconPixels)
                                : QPixmap::fromImage(logoImage());
    label->setPixmap(picture);
    return label;
}

QWidget* makeControl(const ControlTemplate& c, QWidget* parent, const QFont& font, QRect rect) {
    switch (c.kind) {
        case ControlKind::RadioButton:
            return new WholeBoxButton<QRadioButton>(fromView(c.caption), parent);
        case ControlKind::CheckBox:
            return new WholeBoxButton<QCheckBox>(fromView(c.caption), parent);
        case ControlKind::PushButton:
        case ControlKind::PushLikeCheckBox: return makePushButton(c, parent, font, rect.width());
        case ControlKind::Edit: return makeEdit(c, parent);
        case ControlKind::HorizontalScrollBar: return new QScrollBar(Qt::Horizontal, parent);
        case ControlKind::VerticalScrollBar: return new QScrollBar(Qt::Vertical, parent);
        case ControlKind::Text: return makeText(c, parent);
        case ControlKind::GroupBox: {
            auto* box = new GroupFrame(fromView(c.caption), parent);
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            return box;
        }
        case ControlKind::Bitmap:
        case ControlKind::Icon: return makePicture(c, parent);
    }
    return new QWidget(parent);
}

void applyStyle(QWidget* widget, QStyle* style) {
    widget->setStyle(style);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->setStyle(style);
}

}  // namespace

QString buttonCaption(const ControlTemplate& control, std::string_view caption,
                      const QFont& font, int width) {
    const QString text = fromView(caption);
    if ((control.style & kMultiline) == 0) return text;
    return wrapToWidth(text, QFontMetrics(font), width - 2 * kButtonTextMargin);
}

DialogWidgets buildDialog(const DialogTemplate& dialog, std::unique_ptr<QWidget> window) {
    DialogWidgets built;
    built.font = dialogFont(dialog);
    built.units = DialogUnits::of(built.font);
    built.style = std::make_unique<DialogStyle>(built.font);
    built.window = std::move(window);
    QWidget* parent = built.window.get();
    parent->setFont(built.font);
    parent->setWindowTitle(fromView(dialog.caption));
    parent->setWindowIcon(programIcon());
    parent->setFixedSize(built.units.toPixels(0, 0, dialog.width, dialog.height).size());
    parent->move(built.units.toPixelsX(dialog.x), built.units.toPixelsY(dialog.y));

    // Group boxes and pictures lie beneath the controls: a picture keeps its
    // own size and may reach under a neighbour.
    std::vector<QWidget*> beneath;
    for (const ControlTemplate& c : dialog.controls) {
        const QRect rect = built.units.toPixels(c);
        QWidget* widget = makeControl(c, parent, built.font, rect);
        if (c.kind == ControlKind::Bitmap || c.kind == ControlKind::Icon) {
            widget->setGeometry(QRect(rect.topLeft(), widget->sizeHint()));
        } else {
            widget->setGeometry(rect);
        }
        widget->setEnabled((c.style & kInitiallyDisabled) == 0);
        if (c.kind == ControlKind::GroupBox || c.kind == ControlKind::Bitmap) {
            beneath.push_back(widget);
        }
        built.controls.push_back(widget);
    }
    for (auto it = beneath.rbegin(); it != beneath.rend(); ++it) (*it)->lower();
    applyStyle(parent, built.style.get());
    return built;
}

}  // namespace ressona
