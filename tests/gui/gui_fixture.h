#pragma once
// What the GUI tests share: a queue whose posted messages can be taken back
// in order, and a caption-fit check that measures with the widget's own font
// and style.

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <QStyle>
#include <QStyleOption>
#include <ostream>
#include <vector>

#include "platform/messages/message_queue.h"
#include "platform/qt/qt_dialog_units.h"

namespace ressona {

// Messages compare and print field by field in the tests.
inline bool operator==(const Message& a, const Message& b) {
    return a.window == b.window && a.message == b.message && a.wParam == b.wParam &&
           a.lParam == b.lParam;
}

inline void PrintTo(const Message& m, std::ostream* out) {
    *out << "{window " << m.window << ", message 0x" << std::hex << m.message << ", wParam 0x"
         << m.wParam << ", lParam 0x" << m.lParam << std::dec << "}";
}

}  // namespace ressona

namespace ressona::testing {

// Takes every queued message out, oldest first.
inline std::vector<Message> takePosted(MessageQueue& queue) {
    std::vector<Message> taken;
    Message m;
    while (queue.PeekMessageA(m, kNoWindow, PM_REMOVE)) taken.push_back(m);
    return taken;
}

// A window in the queue whose procedure only counts what reaches it.
inline WindowHandle quietWindow(MessageQueue& queue, const char* className) {
    return queue.CreateWindowA(className, [](WindowHandle, std::uint32_t, WPARAM, LPARAM) {
        return LRESULT{0};
    });
}

// Why a caption does not fit its widget, or an empty text when it does.
inline QString captionTrouble(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    const QRect box = widget.rect();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        const QString text = visibleCaption(button->text().toStdString());
        if (text.isEmpty()) return {};
        const QStringList lines = text.split(u'\n');
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const bool marked = widget.inherits("QRadioButton") || widget.inherits("QCheckBox");
        int needed = widest;
        int neededHeight = static_cast<int>(lines.size()) * metrics.height();
        if (marked) {
            const QStyle* style = widget.style();
            const bool radio = widget.inherits("QRadioButton");
            const int mark = style->pixelMetric(
                radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr,
                &widget);
            const int spacing = style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                         : QStyle::PM_CheckBoxLabelSpacing,
                                                   nullptr, &widget);
            needed += mark + spacing;
            neededHeight = std::max(neededHeight, mark);
        } else {
            needed += 4;  // the button's frame, two pixels each side
        }
        if (needed > box.width() || neededHeight > box.height()) {
            return QStringLiteral("'%1' needs %2x%3, has %4x%5")
                .arg(text).arg(needed).arg(neededHeight).arg(box.width()).arg(box.height());
        }
        return {};
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(&widget)) {
        const int needed = metrics.horizontalAdvance(box->title()) + 2 * 8;  // indent and gap
        if (needed > widget.width()) {
            return QStringLiteral("title '%1' needs %2, has %3")
                .arg(box->title()).arg(needed).arg(widget.width());
        }
        return {};
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty()) return {};
        const int frame = label->frameWidth();
        const int inner = box.width() - 2 * frame;
        for (const QString& word : label->text().split(u' ', Qt::SkipEmptyParts)) {
            if (metrics.horizontalAdvance(word) > inner) {
                return QStringLiteral("word '%1' of '%2' is wider than %3")
                    .arg(word, label->text()).arg(inner);
            }
        }
        // Every line's ink must show: lines a line spacing apart from the top,
        // the last one down to the lowest pixel its letters reach.
        const QStringList lines = label->wordWrap()
                                      ? wrapToWidth(label->text(), metrics, inner).split(u'\n')
                                      : QStringList{label->text()};
        const int below = std::max(0, metrics.tightBoundingRect(lines.back()).bottom() + 1);
        const int needed = 2 * frame + static_cast<int>(lines.size() - 1) * metrics.lineSpacing() +
                           metrics.ascent() + below;
        if (needed > box.height()) {
            return QStringLiteral("'%1' needs %2 rows of pixels, has %3")
                .arg(label->text()).arg(needed).arg(box.height());
        }
    }
    return {};
}

}  // namespace ressona::testing
