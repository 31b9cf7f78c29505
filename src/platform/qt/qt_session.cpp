// The Qt application, the screen's size and the wait cursor.

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>

#include "platform/qt/qt_artwork.h"
#include "platform/qt/qt_skin.h"

namespace ressona {

namespace {

class QtSession final : public GuiSession {
public:
    QtSession(int& argc, char** argv) : application_(argc, argv) {
        QApplication::setApplicationName(QStringLiteral("Ressona"));
        QApplication::setWindowIcon(programIcon());
    }

private:
    QApplication application_;
};

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

bool qtDisplayAvailable() {
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

std::unique_ptr<GuiSession> createQtSession(int& argc, char** argv) {
    return std::make_unique<QtSession>(argc, argv);
}

ScreenSize qtScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    const QRect area = screen->geometry();
    return {area.width(), area.height()};
}

void setQtWaitCursor(bool on) {
    if (on) {
        if (QGuiApplication::overrideCursor() == nullptr) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        }
        return;
    }
    while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
}

}  // namespace ressona
