#pragma once
// The mixer-choice dialog: shown when the system has more than one mixer, it
// lists their names (list box 277, one line per mixer id, unsorted) and
// returns on "OK" or the close box.

#include "resources/dialog_layout.h"

namespace ressona {

inline constexpr int kMixerChoiceDialog = 215;
inline constexpr int kMixerChoiceList = 277;

struct ListDialogTemplate {
    int templateId = 0;
    const char* caption = "";
    const char* title = "";
    const char* prompt = "";
    int listId = 0;
    DialogRect frame;
    DialogRect titleRect;
    DialogRect promptRect;
    DialogRect listRect;
    DialogRect okRect;  // id kOkButtonId, default
};

const ListDialogTemplate& mixerChoiceTemplate();

}  // namespace ressona
