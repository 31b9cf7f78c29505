#include "platform/qt/qt_dialog_service.h"

#include <QDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <array>

#include "resources/dialog_layout.h"

namespace ressona {

namespace {

using K = ControlKind;

ControlTemplate textAt(const char* text, const DialogRect& r) {
    return ControlTemplate{kNoControlId, K::Text, text, r.x, r.y, r.width, r.height, kCentred, ""};
}

ControlTemplate okAt(const DialogRect& r) {
    return ControlTemplate{kOkButtonId, K::PushButton, "OK",           r.x, r.y,
                           r.width,     r.height,      kDefaultButton, ""};
}

DialogTemplate frameOf(int id, const char* caption, const DialogRect& frame,
                       std::span<const ControlTemplate> controls) {
    return DialogTemplate{id,      caption,     kDialogFontName, kDialogFontSize, frame.x,
                          frame.y, frame.width, frame.height,    controls};
}

QPushButton* acceptingOk(DialogWidgets& built, std::size_t index) {
    auto* ok = static_cast<QPushButton*>(built.controls.at(index));
    auto* dialog = static_cast<QDialog*>(built.window.get());
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

// A dialog's position counts from its owner's corner; without a shown owner
// the dialog is centred on the screen.
void place(QDialog& dialog, QWidget* owner) {
    if (owner != nullptr && owner->isVisible()) {
        dialog.setParent(owner, dialog.windowFlags());
        dialog.move(owner->mapToGlobal(dialog.pos()));
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = dialog.frameGeometry();
        area.moveCenter(screen->availableGeometry().center());
        dialog.move(area.topLeft());
    }
}

int exec(DialogWidgets& built, QWidget* owner) {
    auto* dialog = static_cast<QDialog*>(built.window.get());
    place(*dialog, owner);
    dialog->setModal(true);
    return dialog->exec();
}

}  // namespace

MessageDialogWidgets buildMessageDialog(const MessageDialogTemplate& dialog) {
    const std::array controls{textAt(dialog.title, dialog.titleRect),
                              textAt(dialog.message, dialog.messageRect), okAt(dialog.okRect)};
    MessageDialogWidgets built;
    built.dialog = buildDialog(frameOf(dialog.templateId, dialog.caption, dialog.frame, controls),
                               std::make_unique<QDialog>());
    built.ok = acceptingOk(built.dialog, 2);
    return built;
}

ListDialogWidgets buildListDialog(const ListDialogTemplate& dialog,
                                  std::span<const std::string> items, int initialSelection) {
    const std::array controls{textAt(dialog.title, dialog.titleRect),
                              textAt(dialog.prompt, dialog.promptRect), okAt(dialog.okRect)};
    ListDialogWidgets built;
    built.dialog = buildDialog(frameOf(dialog.templateId, dialog.caption, dialog.frame, controls),
                               std::make_unique<QDialog>());
    built.ok = acceptingOk(built.dialog, 2);

    const DialogRect& r = dialog.listRect;
    built.list = new QListWidget(built.dialog.window.get());
    built.list->setGeometry(built.dialog.units.toPixels(r.x, r.y, r.width, r.height));
    built.list->setStyle(built.dialog.style.get());
    built.list->setSelectionMode(QAbstractItemView::SingleSelection);
    built.list->setSortingEnabled(false);
    for (const std::string& item : items) built.list->addItem(QString::fromStdString(item));
    if (initialSelection >= 0 && initialSelection < built.list->count()) {
        built.list->setCurrentRow(initialSelection);
    }
    return built;
}

DialogEnd QtDialogService::runMessageDialog(const MessageDialogTemplate& dialog, WindowHandle) {
    MessageDialogWidgets built = buildMessageDialog(dialog);
    return exec(built.dialog, owner_) == QDialog::Accepted ? DialogEnd::kOk : DialogEnd::kCloseBox;
}

ListChoice QtDialogService::runListDialog(const ListDialogTemplate& dialog, WindowHandle,
                                          std::span<const std::string> items,
                                          int initialSelection) {
    ListDialogWidgets built = buildListDialog(dialog, items, initialSelection);
    const int result = exec(built.dialog, owner_);
    const bool selected = !built.list->selectedItems().isEmpty();
    return ListChoice{result == QDialog::Accepted ? DialogEnd::kOk : DialogEnd::kCloseBox,
                      selected ? built.list->currentRow() : -1};
}

}  // namespace ressona
