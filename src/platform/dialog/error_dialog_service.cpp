#include "platform/dialog/error_dialog_service.h"

namespace ressona {

DialogEnd RecordingDialogService::runMessageDialog(const MessageDialogTemplate& dialog,
                                                   WindowHandle owner) {
    shown.push_back({dialog.templateId, dialog.title, dialog.message, owner, {}, -1});
    return messageEnd;
}

ListChoice RecordingDialogService::runListDialog(const ListDialogTemplate& dialog,
                                                 WindowHandle owner,
                                                 std::span<const std::string> items,
                                                 int initialSelection) {
    shown.push_back({dialog.templateId, dialog.title, dialog.prompt, owner,
                     std::vector<std::string>(items.begin(), items.end()), initialSelection});
    if (listAnswers.empty()) return {DialogEnd::kOk, initialSelection};
    const ListChoice answer = listAnswers.front();
    listAnswers.pop_front();
    return answer;
}

}  // namespace ressona
