#include "platform/qt/qt_panel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <limits>

namespace ressona {

namespace {

// The panel's top-level window: the close box and dropped files become calls
// to its owner; the window never closes by itself.
class PanelWindow final : public QWidget {
  public:
    std::function<void()> onClose;
    std::function<void(std::vector<std::string>)> onDrop;
    std::function<bool()> acceptsDrops;

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (onClose) onClose();
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!localFiles(event->mimeData()).empty() && acceptsDrops()) event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!localFiles(event->mimeData()).empty() && acceptsDrops()) event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        std::vector<std::string> names = localFiles(event->mimeData());
        if (names.empty() || !acceptsDrops()) return;
        event->acceptProposedAction();
        if (onDrop) onDrop(std::move(names));
    }

  private:
    static std::vector<std::string> localFiles(const QMimeData* data) {
        std::vector<std::string> names;
        if (data == nullptr) return names;
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
        }
        return names;
    }
};

// Tells when an edit loses the keyboard focus.
class FocusLossWatcher final : public QObject {
  public:
    FocusLossWatcher(QObject* edit, std::function<void()> onLoss)
        : QObject(edit), onLoss_(std::move(onLoss)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) onLoss_();
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> onLoss_;
};

// Without a window system (offscreen, minimal) nothing decorates or stacks windows.
bool windowSystem() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// A scroll message's first parameter: the code, and a position in the high word.
WPARAM scrollParam(int code, int position) {
    return (static_cast<WPARAM>(static_cast<std::uint16_t>(position)) << 16) |
           static_cast<std::uint16_t>(code);
}

}  // namespace

QtPanel::QtPanel(DialogModel& model, MessageQueue& queue, WindowHandle panel, DroppedFiles& drops)
    : model_(model), queue_(queue), panel_(panel), drops_(drops) {
    auto window = std::make_unique<PanelWindow>();
    // Caption, system menu, minimise box and close box; the size is fixed.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setAcceptDrops(true);
    window->onClose = [this] { onCloseBox(); };
    window->onDrop = [this](std::vector<std::string> names) { onDropped(std::move(names)); };
    window->acceptsDrops = [this] { return acceptDrops_; };
    dialog_ = buildDialog(model_.dialogTemplate(), std::move(window));

    const auto& controls = model_.dialogTemplate().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].id != kNoControlId) widgets_[controls[i].id] = dialog_.controls[i];
    }
    for (const auto& [id, widget] : widgets_) connectControl(id, widget);
    for (const auto& [id, widget] : widgets_) showControl(id);
    model_.setChangeObserver([this](int id) { showControl(id); });
}

QtPanel::~QtPanel() {
    model_.setChangeObserver({});
}

// Shown on top of the plots: on a low screen their frames may reach under it.
void QtPanel::show() {
    window()->show();
    if (windowSystem()) window()->raise();
}
void QtPanel::hide() {
    window()->hide();
}

void QtPanel::restore() {
    if (window()->isMinimized()) window()->showNormal();
    window()->raise();
    window()->activateWindow();
}
void QtPanel::move(int left, int top) {
    window()->move(left, top);
}
int QtPanel::width() const {
    return window()->frameGeometry().width();
}
int QtPanel::height() const {
    return window()->frameGeometry().height();
}

int QtPanel::heightOnScreen() {
    window()->winId();  // the native window: its frame is known where the platform knows it
    const int framed = window()->frameGeometry().height();
    if (framed > window()->height()) return framed;
    // A window manager tells the frame only once the window is shown.
    if (!windowSystem()) return framed;
    const QStyle* style = QApplication::style();
    return framed + (style != nullptr ? style->pixelMetric(QStyle::PM_TitleBarHeight) : 0);
}

void QtPanel::DragAcceptFiles(bool accept) {
    acceptDrops_ = accept;
}

bool QtPanel::savePicture(const std::string& path) const {
    return window()->grab().save(QString::fromStdString(path), "PNG");
}

PixelRect QtPanel::controlRect(int id) const {
    const QWidget* widget = widgetOf(id);
    if (widget == nullptr) return {};
    const QRect area = widget->geometry();
    return {area.left(), area.top(), area.width(), area.height()};
}

QWidget* QtPanel::widgetOf(int id) const {
    const auto found = widgets_.find(id);
    return found == widgets_.end() ? nullptr : found->second;
}

void QtPanel::connectControl(int id, QWidget* widget) {
    const ControlKind kind = model_.templateOf(id).kind;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QObject::connect(button, &QAbstractButton::clicked, button, [this, id] { onClicked(id); });
    }
    if (kind == ControlKind::RadioButton) {
        auto* radio = static_cast<QRadioButton*>(widget);
        const std::vector<int> group = model_.radioGroupOf(id);
        if (group.size() < 2) {
            // Alone in its group: its check mark is the panel's to set.
            radio->setAutoExclusive(false);
        } else {
            QButtonGroup*& shared = groups_[group.front()];
            if (shared == nullptr) shared = new QButtonGroup(window());
            shared->addButton(radio);
            groups_[id] = shared;
        }
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QObject::connect(edit, &QLineEdit::textEdited, edit,
                         [this, id](const QString& text) { onEdited(id, text); });
        // Leaving the edit, or Return in it, lets the panel show the value in force.
        QObject::connect(edit, &QLineEdit::returnPressed, edit, [this, id] { onLeft(id); });
        edit->installEventFilter(new FocusLossWatcher(edit, [this, id] { onLeft(id); }));
    }
    if (auto* bar = qobject_cast<QScrollBar*>(widget)) {
        bar->setFocusPolicy(Qt::NoFocus);
        QObject::connect(bar, &QAbstractSlider::actionTriggered, bar,
                         [this, id, bar](int action) { onScrollAction(id, bar, action); });
        QObject::connect(bar, &QAbstractSlider::sliderPressed, bar,
                         [this, id, bar] { thumbTrack_[id] = bar->sliderPosition(); });
        QObject::connect(bar, &QAbstractSlider::sliderReleased, bar,
                         [this, id, bar] { onThumbReleased(id, bar); });
    }
}

void QtPanel::onClicked(int id) {
    model_.clickButton(id);
    // Qt may have moved a check mark the model did not (a radio button alone
    // in its group): show the model's marks again.
    showControl(id);
    post(WM_COMMAND, makeCommandParam(static_cast<std::uint16_t>(id), BN_CLICKED), handleParam(id));
}

void QtPanel::onEdited(int id, const QString& text) {
    model_.typeText(id, text.toStdString());
    post(WM_COMMAND, makeCommandParam(static_cast<std::uint16_t>(id), EN_CHANGE), handleParam(id));
}

void QtPanel::onLeft(int id) {
    post(WM_COMMAND, makeCommandParam(static_cast<std::uint16_t>(id), EN_KILLFOCUS),
         handleParam(id));
}

void QtPanel::onScrollAction(int id, QScrollBar* bar, int action) {
    int code = 0;
    int position = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINEDOWN;
            break;
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINEUP;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGEDOWN;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGEUP;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = SB_TOP;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = SB_BOTTOM;
            break;
        case QAbstractSlider::SliderMove:
            code = SB_THUMBTRACK;
            position = bar->sliderPosition();
            thumbTrack_[id] = position;
            break;
        default:
            return;
    }
    const std::uint32_t message = bar->orientation() == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL;
    post(message, scrollParam(code, position), handleParam(id));
    // Qt applies this slider position after the signal: the thumb stays where
    // the model has it until the panel has handled the message.
    bar->setSliderPosition(model_.shownScrollPosition(id));
}

void QtPanel::onThumbReleased(int id, QScrollBar* bar) {
    const std::uint32_t message = bar->orientation() == Qt::Horizontal ? WM_HSCROLL : WM_VSCROLL;
    const auto tracked = thumbTrack_.find(id);
    const int position = tracked == thumbTrack_.end() ? bar->sliderPosition() : tracked->second;
    thumbTrack_.erase(id);
    post(message, scrollParam(SB_THUMBPOSITION, position), handleParam(id));
    post(message, scrollParam(SB_ENDSCROLL, 0), handleParam(id));
}

void QtPanel::onDropped(std::vector<std::string> names) {
    const HDROP drop = drops_.add(std::move(names));
    post(WM_DROPFILES, drop, 0);
}

void QtPanel::onCloseBox() {
    post(WM_CLOSE, 0, 0);
}

void QtPanel::showControl(int id) {
    QWidget* widget = widgetOf(id);
    if (widget == nullptr) return;
    const ControlTemplate& layout = model_.templateOf(id);
    widget->setEnabled(model_.IsWindowEnabled(id));
    const QString text = fromStd(model_.GetDlgItemTextA(id));
    switch (layout.kind) {
        case ControlKind::RadioButton: {
            auto* radio = static_cast<QRadioButton*>(widget);
            if (radio->text() != text) radio->setText(text);
            showRadioGroup(id);
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::PushLikeCheckBox:
        case ControlKind::PushButton: {
            auto* button = static_cast<QAbstractButton*>(widget);
            const QString caption =
                buttonCaption(layout, model_.GetDlgItemTextA(id), dialog_.font, widget->width());
            if (button->text() != caption) button->setText(caption);
            if (button->isCheckable()) {
                const QSignalBlocker quiet(button);
                button->setChecked(model_.IsDlgButtonChecked(id));
            }
            break;
        }
        case ControlKind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            // setText never reports itself as typed, so nothing is posted.
            if (edit->text() != text) edit->setText(text);
            break;
        }
        case ControlKind::Text: {
            auto* label = static_cast<QLabel*>(widget);
            if (label->text() != text) label->setText(text);
            break;
        }
        case ControlKind::HorizontalScrollBar:
        case ControlKind::VerticalScrollBar:
            showScrollBar(id, static_cast<QScrollBar*>(widget));
            break;
        default:
            break;
    }
}

void QtPanel::showRadioGroup(int id) {
    const auto found = groups_.find(id);
    if (found == groups_.end()) {
        auto* radio = static_cast<QRadioButton*>(widgetOf(id));
        const QSignalBlocker quiet(radio);
        radio->setChecked(model_.IsDlgButtonChecked(id));
        return;
    }
    // An exclusive group refuses to clear its checked button; the model may
    // have none checked.
    QButtonGroup* group = found->second;
    group->setExclusive(false);
    for (int member : model_.radioGroupOf(id)) {
        QWidget* widget = widgetOf(member);
        const QSignalBlocker quiet(widget);
        static_cast<QRadioButton*>(widget)->setChecked(model_.IsDlgButtonChecked(member));
    }
    group->setExclusive(true);
}

void QtPanel::showScrollBar(int id, QScrollBar* bar) {
    const SCROLLINFO info = model_.GetScrollInfo(id);
    // The model's maximum includes the page; Qt's maximum is the thumb's last position.
    const std::int64_t page = info.nPage;
    const std::int64_t lastPosition = std::max<std::int64_t>(
        info.nMin, std::int64_t{info.nMax} - std::max<std::int64_t>(page - 1, 0));
    const QSignalBlocker quiet(bar);
    bar->setRange(info.nMin, clampToInt(lastPosition));
    bar->setPageStep(std::max(1, clampToInt(page)));
    bar->setSingleStep(1);
    bar->setValue(model_.shownScrollPosition(id));
}

void QtPanel::post(std::uint32_t message, WPARAM wParam, LPARAM lParam) {
    queue_.PostMessageA(panel_, message, wParam, lParam);
}

LPARAM QtPanel::handleParam(int id) const {
    return static_cast<LPARAM>(model_.handleOf(id));
}

std::unique_ptr<PanelSkin> createQtPanel(DialogModel& model, MessageQueue& queue,
                                         WindowHandle panel, DroppedFiles& drops) {
    return std::make_unique<QtPanel>(model, queue, panel, drops);
}

}  // namespace ressona
