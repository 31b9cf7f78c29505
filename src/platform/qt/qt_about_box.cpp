#include "platform/qt/qt_about_box.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>

#include "platform/qt/qt_skin.h"
#include "resources/about_template.h"

namespace ressona {

DialogWidgets buildAboutBox() {
    const DialogTemplate& about = aboutTemplate();
    DialogWidgets built = buildDialog(about, std::make_unique<QDialog>());
    auto* dialog = static_cast<QDialog*>(built.window.get());
    for (std::size_t i = 0; i < about.controls.size(); ++i) {
        if (about.controls[i].id != kAboutOkButton) continue;
        auto* ok = static_cast<QPushButton*>(built.controls[i]);
        QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    }
    return built;
}

void showQtAbout() {
    const DialogWidgets about = buildAboutBox();
    auto* dialog = static_cast<QDialog*>(about.window.get());
    // A dialog's position counts from its owner's corner: the active window's.
    if (const QWidget* owner = QApplication::activeWindow()) {
        dialog->move(owner->mapToGlobal(dialog->pos()));
    }
    dialog->setModal(true);
    dialog->exec();
}

}  // namespace ressona
