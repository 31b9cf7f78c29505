// Message boxes for the program's numbered error dialogs: a title, a text and
// an OK button, shown modally.

#include <QMessageBox>

#include "platform/qt/qt_artwork.h"
#include "platform/qt/qt_skin.h"

namespace ressona {

void showQtMessage(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Warning,
                    QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setWindowIcon(programIcon());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace ressona
