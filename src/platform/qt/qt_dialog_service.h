#pragma once
// Private to the Qt skin: the numbered message dialogs and the list dialog
// (the mixer choice) as modal Qt dialogs, built from their templates at their
// dialog-unit rectangles and placed from their owner's corner.

#include <QPointer>
#include <QWidget>
#include <span>
#include <string>

#include "platform/dialog/error_dialog_service.h"
#include "platform/qt/qt_dialog_builder.h"

class QListWidget;
class QPushButton;

namespace ressona {

class QtDialogService final : public DialogService {
  public:
    // The window the dialogs open over: the control panel once it exists.
    void setOwner(QWidget* owner) { owner_ = owner; }

    DialogEnd runMessageDialog(const MessageDialogTemplate& dialog, WindowHandle owner) override;
    ListChoice runListDialog(const ListDialogTemplate& dialog, WindowHandle owner,
                             std::span<const std::string> items, int initialSelection) override;

  private:
    QPointer<QWidget> owner_;
};

struct MessageDialogWidgets {
    DialogWidgets dialog;  // its window is a QDialog
    QPushButton* ok = nullptr;
};

struct ListDialogWidgets {
    DialogWidgets dialog;  // its window is a QDialog
    QListWidget* list = nullptr;
    QPushButton* ok = nullptr;
};

// A message dialog: the title and the message centred, and "OK", which
// (like Return) accepts; the close box and Escape reject.
MessageDialogWidgets buildMessageDialog(const MessageDialogTemplate& dialog);
// A list dialog: title, prompt, the items unsorted with `initialSelection`
// selected (-1: none), and "OK".
ListDialogWidgets buildListDialog(const ListDialogTemplate& dialog,
                                  std::span<const std::string> items, int initialSelection);

}  // namespace ressona
