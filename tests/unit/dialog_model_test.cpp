#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/dialog/dialog_int.h"
#include "platform/dialog/dialog_model.h"
#include "resources/control_ids.h"
#include "resources/panel_template.h"

namespace ressona {
namespace {

TEST(DialogIntTest, ReadsNumbersTheWayEditsAlwaysHave) {
    struct Case {
        const char* text;
        bool isSigned;
        bool translated;
        std::int64_t value;
    };
    const std::vector<Case> cases = {
        {"42", false, true, 42},          {"  42  ", true, true, 42},
        {"-90", true, true, -90},         {"-90", false, false, 0},
        {"", true, false, 0},             {"-", true, false, 0},
        {"12a", true, false, 0},          {"a12", true, false, 0},
        {"+5", true, false, 0},           {"1 2", true, false, 0},
        {"2147483647", true, true, 2147483647},
        {"2147483648", true, false, 0},   {"-2147483648", true, true, -2147483648LL},
        {"-2147483649", true, false, 0},  {"4294967295", false, true, 4294967295LL},
        {"4294967296", false, false, 0},  {"99999999999999999999999", false, false, 0},
        {"0000000000000000000000007", false, true, 7},
    };
    for (const Case& c : cases) {
        bool translated = true;
        const std::uint32_t bits = parseDialogInt(c.text, c.isSigned, translated);
        EXPECT_EQ(translated, c.translated) << '"' << c.text << '"';
        const std::int64_t value = c.isSigned ? std::int64_t{static_cast<std::int32_t>(bits)}
                                              : std::int64_t{bits};
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(formatDialogInt(static_cast<std::uint32_t>(-89), true), "-89");
    EXPECT_EQ(formatDialogInt(4000000000u, false), "4000000000");
}

TEST(PanelTemplateTest, EveryAddressedControlHasOneUniqueId) {
    const DialogTemplate& panel = panelTemplate();
    EXPECT_EQ(panel.width, 516);
    EXPECT_EQ(panel.height, 196);
    std::set<int> seen;
    for (const ControlTemplate& c : panel.controls) {
        if (c.id == kNoControlId) continue;
        EXPECT_TRUE(seen.insert(c.id).second) << "duplicate id " << c.id;
        EXPECT_LE(c.x + c.width, panel.width + 1) << c.id;
        EXPECT_LE(c.y + c.height, panel.height) << c.id;
    }
    for (int id = ids::kLength64; id <= ids::kLength16384; ++id) EXPECT_TRUE(seen.count(id));
    EXPECT_EQ(seen.size(), 68u);
}

class DialogModelTest : public ::testing::Test {
protected:
    DialogModelTest() {
        model.setCommandHandler([this](std::uint16_t id, std::uint16_t notification) {
            commands.push_back({id, notification});
        });
    }
    DialogModel model{panelTemplate()};
    std::vector<std::pair<int, int>> commands;
};

TEST_F(DialogModelTest, StartsFromTheTemplate) {
    EXPECT_FALSE(model.IsWindowEnabled(ids::kDbLowEdit));
    EXPECT_FALSE(model.IsWindowEnabled(ids::kDbHighEdit));
    EXPECT_TRUE(model.IsWindowEnabled(ids::kStart));
    EXPECT_EQ(model.GetDlgItemTextA(ids::kMixerText), "Unknown Mixer");
    EXPECT_FALSE(model.hasControl(kNoControlId));
    EXPECT_EQ(model.idOfHandle(model.handleOf(ids::kStop)), ids::kStop);
    EXPECT_EQ(model.idOfHandle(9999), kNoControlId);
}

TEST_F(DialogModelTest, WritingAnEditRunsItsHandlerAtOnceButTypingDoesNot) {
    model.SetDlgItemInt(ids::kToneEdit, 2000, false);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], std::make_pair(ids::kToneEdit, int{EN_CHANGE}));
    model.SetDlgItemTextA(ids::kLatencyText, "Latency 3 Samples");  // a text, not an edit
    EXPECT_EQ(commands.size(), 1u);
    model.typeText(ids::kToneEdit, "abc");
    EXPECT_EQ(commands.size(), 1u);
    bool translated = true;
    EXPECT_EQ(model.GetDlgItemInt(ids::kToneEdit, translated, false), 0u);
    EXPECT_FALSE(translated);
}

TEST_F(DialogModelTest, ScrollBarsKeepTheirRecordAndShowAClampedThumb) {
    model.SetScrollInfo(ids::kShiftBar, {SIF_ALL, -60, 60, 10, 0});
    EXPECT_EQ(model.SetScrollInfo(ids::kShiftBar, {SIF_POS, 0, 0, 0, -100}), -60);
    EXPECT_EQ(model.GetScrollInfo(ids::kShiftBar).nPos, -100);
    EXPECT_EQ(model.GetScrollInfo(ids::kShiftBar).nPage, 10u);
    // A page-sized thumb ends page - 1 before the maximum.
    EXPECT_EQ(model.SetScrollInfo(ids::kShiftBar, {SIF_POS, 0, 0, 0, 60}), 51);
}

TEST_F(DialogModelTest, ObserverHearsOnlyRealChanges) {
    std::vector<int> changed;
    model.setChangeObserver([&](int id) { changed.push_back(id); });
    model.EnableWindow(ids::kStart, true);  // already enabled
    model.EnableWindow(ids::kStart, false);
    model.CheckDlgButton(ids::kPulse, true);
    model.CheckDlgButton(ids::kPulse, true);
    EXPECT_EQ(changed, (std::vector<int>{ids::kStart, ids::kPulse}));
}

}  // namespace
}  // namespace ressona
