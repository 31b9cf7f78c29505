#pragma once
// Private to the Qt skin: the control panel's widgets over the dialog model.
// A widget's signal first does to the model what a user's action does (a
// click's check marks, typed text), then is posted to the panel's window as
// the message the panel's procedure reads. The model owns every state: the
// widgets are set from it through its change observer, and a scroll bar's
// thumb goes back to the model's position after Qt has moved it.

#include <QScrollBar>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "platform/qt/qt_dialog_builder.h"
#include "platform/qt/qt_skin.h"

class QButtonGroup;

namespace ressona {

class QtPanel final : public PanelSkin {
public:
    QtPanel(DialogModel& model, MessageQueue& queue, WindowHandle panel, DroppedFiles& drops);
    ~QtPanel() override;
    QtPanel(const QtPanel&) = delete;
    QtPanel& operator=(const QtPanel&) = delete;

    void show() override;
    void hide() override;
    void restore() override;
    void move(int left, int top) override;
    int width() const override;
    int height() const override;
    int heightOnScreen() override;
    void DragAcceptFiles(bool accept) override;
    bool savePicture(const std::string& path) const override;
    PixelRect controlRect(int id) const override;

    QWidget* window() const { return dialog_.window.get(); }
    // The widget of an addressed control, or nullptr.
    QWidget* widgetOf(int id) const;
    // The widget of the control at this place in the template.
    QWidget* widgetAt(std::size_t index) const { return dialog_.controls.at(index); }
    const DialogUnits& units() const { return dialog_.units; }

private:
    void connectControl(int id, QWidget* widget);
    void onClicked(int id);
    void onEdited(int id, const QString& text);
    void onLeft(int id);
    void onScrollAction(int id, QScrollBar* bar, int action);
    void onThumbReleased(int id, QScrollBar* bar);
    void onDropped(std::vector<std::string> names);
    void onCloseBox();

    // Sets the control's widget from the model.
    void showControl(int id);
    void showRadioGroup(int id);
    void showScrollBar(int id, QScrollBar* bar);

    void post(std::uint32_t message, WPARAM wParam, LPARAM lParam);
    LPARAM handleParam(int id) const;

    DialogModel& model_;
    MessageQueue& queue_;
    WindowHandle panel_;
    DroppedFiles& drops_;
    bool acceptDrops_ = true;
    DialogWidgets dialog_;
    std::map<int, QWidget*> widgets_;
    std::map<int, QButtonGroup*> groups_;  // radio button id -> its group (owned by the window)
    std::map<int, int> thumbTrack_;        // bar id -> last thumb position of the current drag
};

}  // namespace ressona
