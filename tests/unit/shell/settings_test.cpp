// The display-mode list, settings load and store, and the dialog's buttons, through TForm1.
#include "shell/tform1.h"

#include "fake_shell.h"
#include "shell/display_mode_list.h"

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> make(std::vector<std::string> args = {"/c"}) {
        return std::make_unique<TForm1>(view, services, std::move(args));
    }
    void store(RegistryValues values) { services.fakeRegistry.keys[tarnwickKey] = values; }
    std::string errorOf(RegistryValues values) {
        store(std::move(values));
        try {
            make();
        } catch (const Exception& e) {
            return e.message;
        }
        return "no error";
    }
    RegistryValues& stored() { return services.fakeRegistry.keys[tarnwickKey]; }

    CallLog log;
    FakeView view{log};
    FakeServices services{log};
};

TEST(DisplayModeListTest, OffersDeeperThanEightBitsFrom601To1600PixelsAcrossAnyHeight) {
    EXPECT_TRUE(isOfferedDisplayMode({1600, 1200, 32, 60}));
    EXPECT_TRUE(isOfferedDisplayMode({601, 5, 16, 0}));
    EXPECT_TRUE(isOfferedDisplayMode({1024, 100000, 9, 0}));
    EXPECT_FALSE(isOfferedDisplayMode({1601, 1200, 32, 60}));
    EXPECT_FALSE(isOfferedDisplayMode({600, 480, 32, 60}));
    EXPECT_FALSE(isOfferedDisplayMode({1024, 768, 8, 60}));
    EXPECT_FALSE(isOfferedDisplayMode({-1024, 768, 32, 60}));
}

TEST(DisplayModeListTest, TextShowsRefreshAfterTwoBlanksOnlyWhenThereIsOne) {
    EXPECT_EQ(displayModeText({1024, 768, 32, 60}), "1024x768x32  60Hz");
    EXPECT_EQ(displayModeText({1024, 768, 32, 75}), "1024x768x32  75Hz");
    EXPECT_EQ(displayModeText({800, 600, 16, 0}), "800x600x16");
    EXPECT_EQ(displayModeText({1600, 1200, 24, -1}), "1600x1200x24  4294967295Hz");
}

TEST_F(SettingsTest, ModeListKeepsOfferedModesInEnumerationOrderInStepWithTheTable) {
    services.modes = {{640, 480, 32, 60},  {1024, 768, 8, 60},  {1024, 768, 32, 60},
                      {1024, 768, 32, 75}, {1601, 900, 32, 60}, {800, 600, 16, 0}};
    auto form = make();
    EXPECT_EQ(view.resItems,
              (std::vector<std::string>{"desktop resolution", "640x480x32  60Hz",
                                        "1024x768x32  60Hz", "1024x768x32  75Hz", "800x600x16"}));
    ASSERT_EQ(form->displayModeCount, 4);
    for (int k = 0; k < form->displayModeCount; ++k) {
        EXPECT_EQ(displayModeText(form->displayModes[k]), view.resItems[k + 1]);
    }
}

TEST_F(SettingsTest, ModeListStopsAt500EntriesAndAnEndlessEnumerationDoesNotHang) {
    for (int i = 0; i < 700; ++i) {
        services.modes.push_back({1024, 768, 32, i + 1});
    }
    auto form = make();
    EXPECT_EQ(form->displayModeCount, 500);
    EXPECT_EQ(view.resCount(), 501);
    EXPECT_EQ(view.resItems[500], "1024x768x32  500Hz");
    EXPECT_EQ(form->displayModes[499].refreshRate, 500);

    CallLog endlessLog;
    FakeView endlessView(endlessLog);
    FakeServices endless(endlessLog);
    endless.endlessModes = true; // none of them offered
    TForm1 endlessForm(endlessView, endless, {"/c"});
    EXPECT_EQ(endlessForm.displayModeCount, 0);
    EXPECT_LE(endless.enumCalls, 1 << 16);
}

TEST_F(SettingsTest, WithoutStoredSettingsTheDesktopEntryIsSelectedSoundStaysAndDefaultsApply) {
    services.defaultLines = {"// default"};
    make();
    EXPECT_EQ(view.resSelected, 0);
    EXPECT_TRUE(view.sound);
    EXPECT_EQ(view.lines, std::vector<std::string>{"// default"});
    EXPECT_EQ(services.parsedLines, std::vector<std::string>{"// default"});
}

TEST_F(SettingsTest, StoredSettingsSelectTheIndexSetTheSoundBoxAndSplitTheCommaText) {
    services.modes = {{800, 600, 32, 60}, {1024, 768, 32, 60}};
    store({{"resolution", int32_t{2}},
           {"sound", int32_t{0}},
           {"customize", std::string("one,\"two words\",,last")}});
    make();
    EXPECT_EQ(view.resSelected, 2);
    EXPECT_FALSE(view.sound);
    EXPECT_EQ(view.lines, (std::vector<std::string>{"one", "two words", "", "last"}));
    EXPECT_EQ(services.parsedLines, view.lines);
    EXPECT_EQ(countOf(log, "saverDefaultCustomization"), 0);

    store({{"resolution", int32_t{0}}, {"sound", int32_t{7}}});
    make();
    EXPECT_TRUE(view.sound);
}

TEST_F(SettingsTest, AnEmptyStoredCustomizationGetsTheSaverDefaults) {
    services.defaultLines = {"a", "b"};
    store({{"resolution", int32_t{0}}, {"sound", int32_t{1}}, {"customize", std::string(" ")}});
    make();
    EXPECT_EQ(view.lines, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(countOf(log, "saverDefaultCustomization"), 1);
}

TEST_F(SettingsTest, AStoredIndexOutsideTheListSelectsNothingAndOkStoresMinusOne) {
    for (int32_t index : {1, 5, -7}) {
        store({{"resolution", index}, {"sound", int32_t{1}}});
        auto form = make();
        EXPECT_EQ(view.resSelected, -1) << index;
        form->Button1Click();
        EXPECT_EQ(std::get<int32_t>(stored()["resolution"]), -1) << index;
    }
}

TEST_F(SettingsTest, UnreadableStoredValuesEndTheConstructionWithTheValueNamed) {
    EXPECT_EQ(errorOf({{"sound", int32_t{1}}}), "Failed to get data for 'resolution'");
    EXPECT_EQ(errorOf({{"resolution", int32_t{0}}}), "Failed to get data for 'sound'");
    EXPECT_EQ(errorOf({{"resolution", std::string("1")}, {"sound", int32_t{1}}}),
              "Invalid data type for 'resolution'");
    EXPECT_EQ(errorOf({{"resolution", int32_t{0}}, {"sound", std::vector<uint8_t>{1}}}),
              "Invalid data type for 'sound'");
    EXPECT_EQ(
        errorOf({{"resolution", int32_t{0}}, {"sound", int32_t{1}}, {"customize", int32_t{3}}}),
        "Invalid data type for 'customize'");
    EXPECT_EQ(errorOf({{"resolution", int32_t{0}}, {"sound", int32_t{1}}}), "no error");
}

TEST_F(SettingsTest, OkStoresTheThreeValuesAsTypedAndCloses) {
    services.modes = {{800, 600, 32, 60}};
    auto form = make();
    view.resSelected = 1;
    view.sound = false;
    view.lines = {"a b", "", "c,d"};
    form->Button1Click();
    EXPECT_EQ(std::get<int32_t>(stored()["resolution"]), 1);
    EXPECT_EQ(std::get<int32_t>(stored()["sound"]), 0);
    EXPECT_EQ(std::get<std::string>(stored()["customize"]), "\"a b\",,\"c,d\"");
    EXPECT_EQ(view.closeCount, 1);

    auto again = make();
    view.sound = true;
    view.lines = {};
    again->Button1Click();
    EXPECT_EQ(std::get<int32_t>(stored()["sound"]), 1);
    EXPECT_EQ(std::get<std::string>(stored()["customize"]), "");
}

TEST_F(SettingsTest, AStoreThatFailsShowsTheMessageAndKeepsTheDialogOpen) {
    services.fakeRegistry.readOnly = true;
    auto form = make();
    form->Button1Click();
    EXPECT_EQ(services.errors, std::vector<std::string>{"Failed to set data for 'resolution'"});
    EXPECT_EQ(view.closeCount, 0);
    EXPECT_EQ(services.fakeRegistry.keys.count(tarnwickKey) ? stored().size() : 0u, 0u);

    services.fakeRegistry.readOnly = false;
    form->Button1Click();
    EXPECT_EQ(view.closeCount, 1);
}

TEST_F(SettingsTest, DefaultReplacesTheLinesWithoutStoring) {
    services.defaultLines = {"x"};
    auto form = make();
    view.lines = {"mine", "yours"};
    form->Button2Click();
    EXPECT_EQ(view.lines, std::vector<std::string>{"x"});
    EXPECT_EQ(services.fakeRegistry.keys.count(tarnwickKey), 0u);
}

TEST_F(SettingsTest, TheLinkOpensTheAddressAndClosesWithoutStoring) {
    auto form = make();
    view.resSelected = 0;
    form->Label2Click();
    EXPECT_EQ(services.openedUrl, "https://velloran.example/tarnwick");
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_EQ(services.fakeRegistry.keys.count(tarnwickKey), 0u);
}

} // namespace
