#pragma once
// Private to the Qt skin: a plot window that shows the program's off-screen
// picture and posts the window's mouse moves, resizes and close requests.

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/qt/qt_skin.h"

namespace ressona {

class QtPlotShell final : public PlotShell {
public:
    QtPlotShell(MessageQueue& queue, WindowHandle window);
    ~QtPlotShell() override;
    QtPlotShell(const QtPlotShell&) = delete;
    QtPlotShell& operator=(const QtPlotShell&) = delete;

    void setImageSource(std::function<PixelView()> source) override;
    void refresh() override;
    void repaintNow() override;
    void setTitle(std::string_view title) override;
    void setGeometry(int left, int top, int width, int height) override;
    int clientWidth() const override;
    int clientHeight() const override;
    void setCursorShape(PlotCursor cursor) override;
    void show() override;
    void hide() override;
    void restore() override;

    QWidget* window() const { return window_.get(); }

private:
    std::unique_ptr<QWidget> window_;
};

}  // namespace ressona
