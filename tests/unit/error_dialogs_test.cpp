// The numbered error dialogs: their texts as data, and the choice of dialog
// for a wave device's open result.

#include "control/error_dialogs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/dialog/error_dialog_service.h"
#include "resources/error_dialog_templates.h"
#include "resources/mixer_choice_template.h"

namespace ressona {
namespace {

constexpr WindowHandle kPanel = 3;

TEST(ErrorDialogTemplates, ThirteenNumberedDialogsWithFixedTexts) {
    const auto templates = errorDialogTemplates();
    ASSERT_EQ(templates.size(), 13u);
    std::set<int> ids;
    std::set<std::string> titles;
    for (const MessageDialogTemplate& t : templates) {
        ids.insert(t.templateId);
        titles.insert(t.title);
        EXPECT_STREQ(t.caption, "Error Message");
        EXPECT_EQ(std::string(t.title).rfind("Ressona: Error ", 0), 0u) << t.title;
        const std::string message = t.message;
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find('%'), std::string::npos) << t.templateId;  // nothing variable
        EXPECT_EQ(t.frame.width, 226);
        EXPECT_EQ(t.frame.height, 87);
        // Errors 51 to 54 have the wider title.
        EXPECT_EQ(t.titleRect.width, t.templateId >= 221 ? 70 : 58) << t.templateId;
        EXPECT_EQ(findErrorDialogTemplate(t.templateId), &t);
    }
    EXPECT_EQ(ids.size(), 13u);
    EXPECT_EQ(titles.size(), 13u);
    EXPECT_EQ(findErrorDialogTemplate(215), nullptr);  // the mixer choice is no error dialog
    EXPECT_STREQ(findErrorDialogTemplate(kErrorDialogModeMemory)->message,
                 "There is insufficient memory to run Ressona in this mode.");
    EXPECT_STREQ(findErrorDialogTemplate(kErrorDialogBadDevice)->title, "Ressona: Error 52");
}

TEST(WaveDeviceError, ResultCodeChoosesTheDialog) {
    struct Case {
        std::uint32_t code;
        const char* title;
    };
    for (const Case c :
         {Case{4, "Ressona: Error 51"}, Case{2, "Ressona: Error 52"}, Case{6, "Ressona: Error 53"},
          Case{7, "Ressona: Error 54"}, Case{0, "Ressona: Error 1"}, Case{1, "Ressona: Error 1"},
          Case{5, "Ressona: Error 1"}, Case{32, "Ressona: Error 1"},
          Case{0xFFFFFFFFu, "Ressona: Error 1"}}) {
        RecordingDialogService dialogs;
        EXPECT_EQ(showWaveDeviceError(dialogs, kPanel, c.code), 1);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].title, c.title) << c.code;
        EXPECT_EQ(dialogs.shown[0].owner, kPanel);
    }
}

TEST(ShowErrorDialog, CloseBoxEndsItLikeOkAndUnknownTemplatesShowNothing) {
    for (const DialogEnd end : {DialogEnd::kOk, DialogEnd::kCloseBox}) {
        RecordingDialogService dialogs;
        dialogs.messageEnd = end;
        EXPECT_EQ(showErrorDialog(dialogs, kPanel, kErrorDialogMixer), 1);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].templateId, kErrorDialogMixer);
        EXPECT_EQ(dialogs.shown[0].message,
                  "There was an error adjusting the mixer settings: Ressona may not function "
                  "correctly. Check your mixer functionality using the system tools.");
    }
    RecordingDialogService dialogs;
    EXPECT_EQ(showErrorDialog(dialogs, kPanel, 215), 0);
    EXPECT_EQ(showErrorDialog(dialogs, kPanel, 103), 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(MixerChoiceTemplate, TitleAndPromptAndListBox) {
    const ListDialogTemplate& t = mixerChoiceTemplate();
    EXPECT_EQ(t.templateId, 215);
    EXPECT_EQ(t.listId, 277);
    EXPECT_STREQ(t.caption, "Error Message");
    EXPECT_STREQ(t.title, "Ressona: Select the Mixer");
    EXPECT_STREQ(t.prompt,
                 "There is more than one mixer device on the system. Click on the mixer you want "
                 "to use for Ressona from the following list.");
}

}  // namespace
}  // namespace ressona
