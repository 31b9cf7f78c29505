// The numbered message dialogs and the mixer-choice list as real modal Qt
// dialogs: their texts fit their boxes, OK and the close box end them as the
// program expects, and the list reports the row the user picked.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_dialog_service.h"
#include "resources/error_dialog_templates.h"
#include "resources/mixer_choice_template.h"

namespace ressona {
namespace {

// Runs `act` on the modal dialog once it is open.
void whenModal(std::function<void(QDialog&)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

QStringList labelTexts(const DialogWidgets& built) {
    QStringList texts;
    for (QWidget* control : built.controls) {
        if (auto* label = qobject_cast<QLabel*>(control)) texts << label->text();
    }
    return texts;
}

TEST(MessageDialogTest, EveryNumberedDialogShowsItsTextsInBoxesTheyFit) {
    for (const MessageDialogTemplate& error : errorDialogTemplates()) {
        const MessageDialogWidgets built = buildMessageDialog(error);
        EXPECT_EQ(built.dialog.window->windowTitle(), "Error Message");
        EXPECT_EQ(labelTexts(built.dialog), (QStringList{error.title, error.message}));
        for (QWidget* control : built.dialog.controls) {
            EXPECT_EQ(testing::captionTrouble(*control).toStdString(), "") << error.title;
        }
        ASSERT_NE(built.ok, nullptr);
        EXPECT_EQ(built.ok->text(), "OK");
        EXPECT_TRUE(built.ok->isDefault());
    }
}

TEST(MessageDialogTest, OkReturnAndTheCloseBoxEndTheModalDialog) {
    const MessageDialogTemplate& error = *findErrorDialogTemplate(kErrorDialogDeviceAllocated);
    QtDialogService dialogs;
    QString shownTitle;
    whenModal([&](QDialog& dialog) {
        shownTitle = dialog.windowTitle();
        QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
    });
    EXPECT_EQ(dialogs.runMessageDialog(error, kNoWindow), DialogEnd::kOk);
    EXPECT_EQ(shownTitle, "Error Message");

    whenModal([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    EXPECT_EQ(dialogs.runMessageDialog(error, kNoWindow), DialogEnd::kOk);

    whenModal([](QDialog& dialog) { dialog.close(); });
    EXPECT_EQ(dialogs.runMessageDialog(error, kNoWindow), DialogEnd::kCloseBox);
}

TEST(MessageDialogTest, OpensFromItsOwnersCornerAndLeavesTheOwnerAlive) {
    QWidget owner;
    owner.setGeometry(200, 150, 300, 200);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QtDialogService dialogs;
    dialogs.setOwner(&owner);
    QPoint at;
    whenModal([&](QDialog& dialog) {
        at = dialog.pos();
        dialog.accept();
    });
    dialogs.runMessageDialog(*findErrorDialogTemplate(kErrorDialogMixer), kNoWindow);
    EXPECT_EQ(at, owner.mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(owner.findChildren<QDialog*>().isEmpty());  // the dialog is gone
}

TEST(ListDialogTest, ListsTheMixersInOrderWithTheInitialSelection) {
    const std::vector<std::string> mixers{"Zeta card", "Alpha card", "Default"};
    const ListDialogWidgets built = buildListDialog(mixerChoiceTemplate(), mixers, 1);
    ASSERT_NE(built.list, nullptr);
    ASSERT_EQ(built.list->count(), 3);
    EXPECT_EQ(built.list->item(0)->text(), "Zeta card");  // unsorted
    EXPECT_EQ(built.list->item(2)->text(), "Default");
    EXPECT_EQ(built.list->currentRow(), 1);
    EXPECT_EQ(labelTexts(built.dialog).front(), "Ressona: Select the Mixer");
    for (QWidget* control : built.dialog.controls) {
        EXPECT_EQ(testing::captionTrouble(*control).toStdString(), "");
    }
    // The list lies between the prompt and OK.
    EXPECT_GT(built.list->geometry().top(), built.dialog.controls[1]->geometry().bottom());
    EXPECT_LT(built.list->geometry().bottom(), built.ok->geometry().top());

    const ListDialogWidgets none = buildListDialog(mixerChoiceTemplate(), mixers, -1);
    EXPECT_TRUE(none.list->selectedItems().isEmpty());
    const ListDialogWidgets beyond = buildListDialog(mixerChoiceTemplate(), mixers, 7);
    EXPECT_TRUE(beyond.list->selectedItems().isEmpty());
}

TEST(ListDialogTest, ReturnsThePickedRowOnOkAndTheCloseBoxAsSuch) {
    const std::vector<std::string> mixers{"First", "Second", "Third"};
    QtDialogService dialogs;
    whenModal([](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>();
        const QRect row = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
    });
    ListChoice choice = dialogs.runListDialog(mixerChoiceTemplate(), kNoWindow, mixers, 0);
    EXPECT_EQ(choice.end, DialogEnd::kOk);
    EXPECT_EQ(choice.selectedIndex, 2);

    whenModal([](QDialog& dialog) { dialog.close(); });
    choice = dialogs.runListDialog(mixerChoiceTemplate(), kNoWindow, mixers, 1);
    EXPECT_EQ(choice.end, DialogEnd::kCloseBox);
    EXPECT_EQ(choice.selectedIndex, 1);

    whenModal([](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
    choice = dialogs.runListDialog(mixerChoiceTemplate(), kNoWindow, mixers, -1);
    EXPECT_EQ(choice.end, DialogEnd::kOk);
    EXPECT_EQ(choice.selectedIndex, -1);
}

}  // namespace
}  // namespace ressona
