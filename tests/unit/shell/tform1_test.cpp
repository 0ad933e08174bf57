// TForm1's construction, modes, idle dispatch, input rules and teardown, against fakes.
#include "shell/tform1.h"

#include "fake_shell.h"
#include "shell/desktop_capture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class TForm1Test : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> make(std::vector<std::string> args) {
        return std::make_unique<TForm1>(view, services, std::move(args));
    }
    int position(const std::string& name) {
        auto it = std::find(log.begin(), log.end(), name);
        EXPECT_NE(it, log.end()) << name << " was not called";
        return static_cast<int>(it - log.begin());
    }
    // The calls made by the idle passes from now on.
    CallLog idlePasses(int passes) {
        const size_t from = log.size();
        for (int i = 0; i < passes; ++i) {
            EXPECT_TRUE(services.app.idlePass());
            EXPECT_FALSE(services.app.lastDone);
        }
        return CallLog(log.begin() + static_cast<long>(from), log.end());
    }

    CallLog log;
    FakeView view{log};
    FakeServices services{log};
};

TEST_F(TForm1Test, ConstructionSetsTheDataFolderListsModesLoadsSettingsAndCustomizesBeforeTheMode) {
    services.modes = {{1024, 768, 32, 60}};
    auto form = make({"/s"});
    EXPECT_EQ(services.currentDirectory, "/opt/kelvara/Tarnwick");
    EXPECT_LT(position("setCurrentDirectory"), position("enumDisplayMode"));
    EXPECT_LT(position("enumDisplayMode"), position("registry"));
    EXPECT_LT(position("registry"), position("saverParseCustomization"));
    EXPECT_LT(position("saverParseCustomization"), position("captureScreen"));
}

TEST_F(TForm1Test, DataFolderSitsBesideTheExecutableWhateverItsSeparator) {
    services.exePath = "C:\\Savers\\kelvara.scr";
    make({"/x"});
    EXPECT_EQ(services.currentDirectory, "C:\\Savers\\Tarnwick");
    services.exePath = "kelvara";
    make({"/x"});
    EXPECT_EQ(services.currentDirectory, "Tarnwick");
}

TEST_F(TForm1Test, ModeTestFindsSwitchesInAnyCaseAnywhereInTheFirstArgumentInOrder) {
    struct Case {
        std::vector<std::string> args;
        bool fullScreen, preview, settings;
    };
    const std::vector<Case> cases = {
        {{"/S"}, true, false, false},        {{"/c:1234"}, false, false, true},
        {{"/C"}, false, false, true},        {{"x/cy"}, false, false, true},
        {{"/P", "77"}, false, true, false},  {{"/s/c"}, true, false, false},
        {{"/p/c", "5"}, false, true, false}, {{"/c", "/s"}, false, false, true},
    };
    for (const auto& c : cases) {
        CallLog caseLog;
        FakeView caseView(caseLog);
        FakeServices caseServices(caseLog);
        TForm1 form(caseView, caseServices, c.args);
        EXPECT_EQ(caseView.fullScreen, c.fullScreen) << c.args[0];
        EXPECT_EQ(form.previewMode, c.preview) << c.args[0];
        EXPECT_EQ(form.configMode, c.settings) << c.args[0];
        EXPECT_FALSE(caseServices.app.terminated) << c.args[0];
    }
}

TEST_F(TForm1Test, AnythingElseEndsSilentlyAfterReadingTheSettings) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"/x"}, {"-s"}, {"", "/s"}}) {
        CallLog caseLog;
        FakeView caseView(caseLog);
        FakeServices caseServices(caseLog);
        TForm1 form(caseView, caseServices, args);
        EXPECT_TRUE(caseServices.app.terminated);
        EXPECT_FALSE(caseServices.app.idle);
        EXPECT_EQ(countOf(caseLog, "registry"), 1);
        EXPECT_EQ(countOf(caseLog, "saverParseCustomization"), 1);
        EXPECT_TRUE(caseServices.errors.empty());
    }
}

TEST_F(TForm1Test, SettingsModeShowsTheShortDialogAndItsFirstIdlePassHidesTheOwnerOnce) {
    auto form = make({"/c"});
    EXPECT_EQ(view.caption, "Tarnwick Screensaver Settings");
    EXPECT_FALSE(view.customBoxVisible);
    EXPECT_EQ(view.outerHeight, 180);
    EXPECT_TRUE(view.panel1Visible);
    EXPECT_FALSE(view.soundVisible);
    EXPECT_EQ(form->running, 0);

    EXPECT_EQ(idlePasses(1), CallLog{"hideOwnerWindow"});
    EXPECT_FALSE(services.app.idle);
}

TEST_F(TForm1Test, SettingsModeKeepsCustomizationAndSoundForASaverThatHasThem) {
    services.hasCustomization = true;
    services.hasSoundOption = true;
    auto form = make({"/c"});
    EXPECT_TRUE(view.customBoxVisible);
    EXPECT_EQ(view.outerHeight, 380);
    EXPECT_TRUE(view.soundVisible);
}

TEST_F(TForm1Test, PreviewPaintsTheLogoIntoTheHostOnEveryPacedPassAndHidesTheFormOnce) {
    auto form = make({"/p", "4194307"});
    EXPECT_EQ(form->previewHost, 4194307u);
    EXPECT_EQ(view.previewParent, 4194307u);
    EXPECT_EQ(services.app.pace, 40);

    EXPECT_EQ(idlePasses(3), CallLog{"hide"});
    ASSERT_EQ(services.painted.size(), 3u);
    for (const auto& paint : services.painted) {
        EXPECT_EQ(paint.window, 4194307u);
        EXPECT_EQ(paint.picture, &view.logo());
        EXPECT_EQ(paint.x, 5);
        EXPECT_EQ(paint.y, 20);
        EXPECT_EQ(paint.width, 140);
        EXPECT_EQ(paint.height, 70);
    }
}

TEST_F(TForm1Test, PreviewWithoutANumberEndsTheConstructionWithTheArgumentInTheMessage) {
    for (const auto& [args, message] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"/p", "abc"}, "'abc' is not a valid integer value"},
             {{"/p"}, "'' is not a valid integer value"},
             {{"/p", "99999999999"}, "'99999999999' is not a valid integer value"}}) {
        try {
            make(args);
            ADD_FAILURE() << "no error for " << message;
        } catch (const Exception& e) {
            EXPECT_EQ(e.message, message);
        }
    }
    EXPECT_FALSE(services.app.idle);
}

TEST_F(TForm1Test, FullScreenCapturesRaisesPriorityShowsTheFormAndIsRunningBeforeTheStartUp) {
    int32_t runningDuringStartUp = -1;
    // The form registers itself as the view's handler first; read its state through that.
    view.pendingInput = [&] { runningDuringStartUp = static_cast<TForm1*>(view.events)->running; };
    auto form = make({"/s"});
    EXPECT_LT(position("captureScreen"), position("setHighPriority"));
    EXPECT_LT(position("setHighPriority"), position("makeFullScreen"));
    EXPECT_LT(position("makeFullScreen"), position("show"));
    EXPECT_LT(position("show"), position("initGraphics"));
    EXPECT_EQ(runningDuringStartUp, 1);

    ASSERT_NE(form->desktopBitmap, nullptr);
    EXPECT_EQ(form->desktopBitmap->width, 1024);
    EXPECT_EQ(form->desktopBitmap->height, 1024);
    EXPECT_EQ(form->desktopBitmap->bitsPerPixel, 24);
}

TEST_F(TForm1Test, ASaverThatNeedsNoDesktopGetsNoCapture) {
    services.needsDesktop = false;
    auto form = make({"/s"});
    EXPECT_EQ(countOf(log, "captureScreen"), 0);
    EXPECT_EQ(form->desktopBitmap, nullptr);
    EXPECT_EQ(services.builtSaver->desktop, nullptr);
}

TEST_F(TForm1Test, SuccessfulStartInstallsTheIdleHandlerSetsTheCaptionAndBuildsTheSaver) {
    auto form = make({"/s"});
    EXPECT_LT(position("initGraphics"), position("setIdleHandler"));
    EXPECT_LT(position("setIdleHandler"), position("buildSaver"));
    EXPECT_EQ(services.app.pace, 0);
    EXPECT_EQ(view.caption, "Kelvara, Fake Renderer");
    EXPECT_EQ(form->theSaver.get(), services.builtSaver);
    EXPECT_EQ(form->glView.get(), services.fakeView());
    EXPECT_EQ(services.builtSaver->view, services.fakeView());
    EXPECT_EQ(services.builtSaver->desktop, form->desktopBitmap.get());
    EXPECT_EQ(services.builtSaver->performance, 1234);
    EXPECT_FALSE(view.stopTimerEnabled);
}

TEST_F(TForm1Test, FailedStartKeepsTheReportUpArmsTheStopTimerAndRunsNoFrames) {
    services.initResult = 0;
    auto form = make({"/s"});
    EXPECT_LT(position("focus"), position("bringToForeground"));
    EXPECT_LT(position("bringToForeground"), position("enableStopTimer"));
    EXPECT_FALSE(services.app.idle);
    EXPECT_EQ(form->theSaver, nullptr);
    EXPECT_EQ(countOf(log, "buildSaver"), 0);
    EXPECT_EQ(form->running, 1);

    form->stopTimer();
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
}

TEST_F(TForm1Test, StartUpGetsTheAdjustedRequirements) {
    make({"/s"});
    EXPECT_EQ(services.givenRequirements.minCpuMhz, 300);
    EXPECT_EQ(services.givenRequirements.minRamMb, 50);
    EXPECT_EQ(services.givenRequirements.minTextureSize, 1024);
    EXPECT_EQ(services.givenRequirements.minTextureUnits, 2);
    EXPECT_EQ(services.givenRequirements.minPerformance, 1000);
    EXPECT_EQ(services.givenRequirements.extensions,
              std::vector<std::string>{"GL_ARB_multitexture"});
}

TEST_F(TForm1Test, StartUpGetsTheSelectedModeOrTheDesktopModeForEntryZeroOrNoSelection) {
    services.modes = {{800, 600, 32, 60}, {1024, 768, 32, 75}};
    auto run = [&](int32_t stored) {
        CallLog runLog;
        FakeView runView(runLog);
        FakeServices runServices(runLog);
        runServices.modes = services.modes;
        runServices.fakeRegistry.keys[tarnwickKey] = {
            {"resolution", stored}, {"sound", int32_t{0}}, {"customize", std::string()}};
        TForm1 form(runView, runServices, {"/s"});
        return runServices.givenMode;
    };
    const DisplayMode second = run(2);
    EXPECT_EQ(second.width, 1024);
    EXPECT_EQ(second.height, 768);
    EXPECT_EQ(second.refreshRate, 75);
    EXPECT_EQ(run(1).width, 800);
    EXPECT_EQ(run(0).width, 0);
    const DisplayMode none = run(7);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
    EXPECT_EQ(none.bitsPerPixel, 0);
    EXPECT_EQ(none.refreshRate, 0);
}

TEST_F(TForm1Test, IgnoringRequirementsIsPassedOnOnlyWhenAskedFor) {
    make({"/s", "--ignore-requirements"});
    EXPECT_TRUE(services.givenIgnore);
    CallLog otherLog;
    FakeView otherView(otherLog);
    FakeServices other(otherLog);
    TForm1 form(otherView, other, {"/s"});
    EXPECT_FALSE(other.givenIgnore);
}

TEST_F(TForm1Test, IdlePassesRunIntroSetupWithTheFirstFrameThenFramesThenSaverSetupWithItsFrame) {
    services.introFramesLeft = 3;
    auto form = make({"/s"});
    EXPECT_EQ(idlePasses(1), (CallLog{"focus", "bringToForeground", "introSetup", "introFrame"}));
    EXPECT_EQ(services.introSetupView, services.fakeView());
    EXPECT_EQ(idlePasses(1), CallLog{"introFrame"});
    // The pass whose frame ends the intro draws no saver frame.
    EXPECT_EQ(idlePasses(1), CallLog{"introFrame"});
    EXPECT_EQ(form->introRunning, 0);
    EXPECT_EQ(idlePasses(1), (CallLog{"saverSetup", "saverFrame"}));
    EXPECT_EQ(idlePasses(2), (CallLog{"saverFrame", "saverFrame"}));
}

TEST_F(TForm1Test, AnIntroThatEndsOnItsFirstFrameIsFollowedByTheSaverOnTheNextPass) {
    services.introFramesLeft = 1;
    auto form = make({"/s"});
    EXPECT_EQ(idlePasses(1), (CallLog{"focus", "bringToForeground", "introSetup", "introFrame"}));
    EXPECT_EQ(idlePasses(1), (CallLog{"saverSetup", "saverFrame"}));
}

// The box comes after the teardown, over the desktop in its own mode: shown over the run's
// full-screen window, it could sit behind it, out of reach.
TEST_F(TForm1Test, AFailedIntroSetupEndsTheRunWithTheTeardownBeforeItsOneMessage) {
    services.introSetupThrows = true;
    services.idleDuringError = true; // the error box's own loop calls the idle hook
    auto form = make({"/s"});
    EXPECT_EQ(idlePasses(1), (CallLog{"focus", "bringToForeground", "introSetup", "destroySaver",
                                      "shutdownGraphics", "hide", "showError", "close"}));
    EXPECT_EQ(services.errors, std::vector<std::string>{"Can't open logo.dat"});
    EXPECT_FALSE(services.app.idle);
    EXPECT_EQ(view.closeCount, 1);
}

TEST_F(TForm1Test, AFailedIntroFrameEndsTheRunAfterOneMessage) {
    services.introFrameThrows = true;
    auto form = make({"/s"});
    idlePasses(1);
    EXPECT_EQ(services.errors, std::vector<std::string>{"Intro broke"});
    EXPECT_EQ(countOf(log, "introFrame"), 1);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_FALSE(services.app.idlePass());
}

TEST_F(TForm1Test, AFailedSaverSetupEndsTheRunWithTheFullTeardownAndOneMessage) {
    services.introFramesLeft = 1;
    services.saverSetupThrows = true;
    services.idleDuringError = true; // the error box's own loop calls the idle hook
    auto form = make({"/s"});
    idlePasses(1);
    const CallLog calls = idlePasses(1);
    EXPECT_EQ(calls, (CallLog{"saverSetup", "destroySaver", "shutdownGraphics", "hide", "showError",
                              "close"}));
    EXPECT_EQ(services.errors, std::vector<std::string>{"No texture"});
    EXPECT_FALSE(services.app.idle);
    EXPECT_EQ(form->desktopBitmap, nullptr);
}

TEST_F(TForm1Test, AFailedSaverFrameEndsTheRunAndIsNeverRetried) {
    services.introFramesLeft = 1;
    auto form = make({"/s"});
    idlePasses(3);
    services.saverFrameThrows = true;
    services.idleDuringError = true;
    idlePasses(1);
    EXPECT_EQ(services.errors, std::vector<std::string>{"Frame failed"});
    EXPECT_EQ(countOf(log, "saverFrame"), 3);
    EXPECT_EQ(countOf(log, "destroySaver"), 1);
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_FALSE(services.app.idlePass());
}

TEST_F(TForm1Test, InputEndsTheRunOnlyWhileRunning) {
    auto settings = make({"/c"});
    for (int i = 0; i < 20; ++i) {
        settings->FormMouseMove();
    }
    settings->FormKeyDown();
    settings->FormMouseDown();
    EXPECT_EQ(view.closeCount, 0);
    EXPECT_EQ(settings->mouseMoveCount, 0);
}

TEST_F(TForm1Test, TheEleventhMouseMoveEndsTheRunAndTheTenthDoesNot) {
    auto form = make({"/s"});
    for (int i = 0; i < 10; ++i) {
        form->FormMouseMove();
    }
    EXPECT_EQ(view.closeCount, 0);
    form->FormMouseMove();
    EXPECT_EQ(view.closeCount, 1);
    form->FormMouseMove();
    form->FormKeyDown();
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_EQ(countOf(log, "destroySaver"), 1);
}

TEST_F(TForm1Test, AKeyOrAButtonEndsTheRunAtOnceAlsoAfterAFailedStart) {
    auto key = make({"/s"});
    key->FormKeyDown();
    EXPECT_EQ(view.closeCount, 1);

    CallLog otherLog;
    FakeView otherView(otherLog);
    FakeServices other(otherLog);
    other.initResult = 0;
    TForm1 failed(otherView, other, {"/s"});
    failed.FormMouseDown();
    EXPECT_EQ(otherView.closeCount, 1);
    EXPECT_EQ(countOf(otherLog, "shutdownGraphics"), 1);
}

TEST_F(TForm1Test, InputDuringTheStartUpEndsTheProgramAsSoonAsItReturns) {
    for (bool started : {true, false}) {
        CallLog runLog;
        FakeView runView(runLog);
        FakeServices runServices(runLog);
        runServices.initResult = started;
        runView.pendingInput = [&] { runView.events->FormKeyDown(); };
        TForm1 form(runView, runServices, {"/s"});
        EXPECT_EQ(runView.closeCount, 0);
        EXPECT_TRUE(runServices.app.terminated);
        EXPECT_FALSE(runServices.app.idle);
        EXPECT_EQ(countOf(runLog, "buildSaver"), 0);
        EXPECT_EQ(countOf(runLog, "enableStopTimer"), 0);
        EXPECT_EQ(countOf(runLog, "shutdownGraphics"), 1);
        EXPECT_EQ(runLog.back(), "terminate");
    }
}

TEST_F(TForm1Test, ATeardownAskedForDuringTheStartUpWaitsUntilItReturns) {
    CallLog seenByStartUp;
    view.pendingInput = [&] {
        view.events->FormDestroy(); // as the back end does on SIGTERM
        seenByStartUp = log;
    };
    auto form = make({"/s"});
    EXPECT_EQ(countOf(seenByStartUp, "shutdownGraphics"), 0);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
    EXPECT_EQ(services.shutdownView, services.fakeView());
    EXPECT_TRUE(services.app.terminated);
    EXPECT_EQ(countOf(log, "buildSaver"), 0);
}

TEST_F(TForm1Test, TeardownReleasesSaverThenViewThenDesktopThenHidesExactlyOnce) {
    {
        auto form = make({"/s"});
        idlePasses(2);
        log.clear();
        form->FormKeyDown();
        EXPECT_EQ(log, (CallLog{"close", "destroySaver", "shutdownGraphics", "hide"}));
        EXPECT_EQ(services.destroyedSaver, services.builtSaver);
        EXPECT_EQ(services.shutdownView, services.fakeView());
        EXPECT_EQ(form->desktopBitmap, nullptr);
        EXPECT_FALSE(services.app.idle);
        form->FormDestroy();
    }
    EXPECT_EQ(countOf(log, "destroySaver"), 1);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
}

TEST_F(TForm1Test, TeardownGivesTheDisplayModeBackWhenTheStartUpMadeNoView) {
    services.initResult = 0;
    services.initMakesView = false;
    make({"/s"}).reset();
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
    EXPECT_EQ(services.shutdownView, nullptr);
    EXPECT_EQ(countOf(log, "destroySaver"), 0);
}

TEST_F(TForm1Test, TeardownOutsideAFullScreenRunTouchesNoGraphics) {
    make({"/c"}).reset();
    make({"/p", "12"}).reset();
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 0);
    EXPECT_EQ(countOf(log, "destroySaver"), 0);
}

TEST_F(TForm1Test, AnErrorDuringTheStartEndsTheConstructionAfterGivingTheModeBack) {
    services.initThrows = "Change resolution failed!";
    services.initMakesView = false;
    try {
        make({"/s"});
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message, "Change resolution failed!");
    }
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
    EXPECT_EQ(view.events, nullptr);
}

TEST_F(TForm1Test, AMissingDataFileEndsTheConstructionWithTheViewReleasedAndNoIdleHandlerLeft) {
    services.buildThrows = true;
    try {
        make({"/s"});
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message, "Can't find Tarnwick.dat");
    }
    EXPECT_FALSE(services.app.idle);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
    EXPECT_EQ(countOf(log, "destroySaver"), 0);
}

// Host mode: the run in the host's window, as the host's own savers behave.
TEST_F(TForm1Test, HostModeRunsInTheHostsWindowWithoutModeSwitchPriorityInputOrTheForm) {
    services.modes = {{800, 600, 32, 60}};
    services.fakeRegistry.keys[tarnwickKey] = {{"resolution", 1}, {"sound", 1}, {"customize", ""}};
    services.hostScreenshot = Bitmap(400, 300, 32);
    auto form = make({"--window-id", "0x2a", "-fps"});
    EXPECT_EQ(services.openedHost, 0x2au);
    EXPECT_TRUE(view.keptHidden);
    EXPECT_EQ(countOf(log, "show") + countOf(log, "makeFullScreen"), 0);
    EXPECT_EQ(countOf(log, "setHighPriority"), 0);
    // The picture the host kept, no capture of the (already covered) screen.
    EXPECT_EQ(countOf(log, "captureScreen"), 0);
    ASSERT_NE(form->desktopBitmap, nullptr);
    EXPECT_EQ(form->desktopBitmap->width, 1024);
    // The desktop's own mode whatever is stored; a missed minimum does not stop the run.
    EXPECT_LT(services.givenMode.width, 1);
    EXPECT_TRUE(services.givenIgnore);
    EXPECT_LT(position("buildSaver"), position("showFrameRate"));

    // Frames run as in a full-screen run; input is the host's business.
    const CallLog passes = idlePasses(4);
    EXPECT_EQ(countOf(passes, "introSetup"), 1);
    EXPECT_EQ(countOf(passes, "focus") + countOf(passes, "bringToForeground"), 0);
    EXPECT_EQ(countOf(passes, "saverFrame"), 1);
    form->FormKeyDown();
    form->FormMouseDown();
    for (int i = 0; i < 20; ++i) {
        form->FormMouseMove();
    }
    EXPECT_EQ(view.closeCount, 0);

    // The host destroys its window: the run tears down and ends.
    ASSERT_NE(services.hostWindow, nullptr);
    services.hostWindow->gone();
    EXPECT_EQ(view.closeCount, 1);
    EXPECT_EQ(countOf(log, "destroySaver"), 1);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);
}

TEST_F(TForm1Test, HostModeCapturesTheScreenWhenTheHostKeptNoPictureAndReportsErrorsWithoutABox) {
    services.introFrameThrows = true;
    testing::internal::CaptureStderr();
    auto form = make({"--root"});
    EXPECT_EQ(countOf(log, "captureScreen"), 1);
    EXPECT_EQ(countOf(log, "showFrameRate"), 0);
    idlePasses(2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kelvara: Intro broke\n");
    EXPECT_TRUE(services.errors.empty());
}

// XScreenSaver's user decides what its savers may show; outside it the screen shows as before.
TEST_F(TForm1Test,
       UnderXScreenSaverTheUsersImageSettingsChooseTheScreenAPictureOfTheirsOrAPlainOne) {
    auto filled = [](int width, int height, uint8_t value) {
        Bitmap picture(width, height, 24);
        std::fill(picture.pixels.begin(), picture.pixels.end(), value);
        return picture;
    };
    services.hostScreenshot = filled(400, 300, 200);
    const Bitmap neutral = scaleDesktop(neutralDesktop());
    struct Case {
        const char* saverWindow; // XSCREENSAVER_WINDOW, nullptr for none
        HostImageSettings settings;
        bool folderHasPicture;
        std::vector<uint8_t> corner; // the desktop picture's first pixel, blue green red
        std::string folderAsked;
        std::string message;
    };
    const std::vector<uint8_t> screen{200, 200, 200}, folder{90, 90, 90};
    const std::vector<uint8_t> plain(neutral.row(0), neutral.row(0) + 3);
    const Case cases[] = {
        {"0x2a", {true, true, "/pictures", ""}, true, screen, "", ""},
        {"0x2a", {false, true, "/pictures", ""}, true, folder, "/pictures", ""},
        {"0x2a", {false, false, "/pictures", ""}, true, plain, "", ""},
        {"0x2a",
         {false, true, "/empty", ""},
         false,
         plain,
         "/empty",
         "kelvara: There is no JPEG or PNG picture in /empty; a plain picture instead\n"},
        {"0x2a",
         {false, true, "https://example.org/feed", ""},
         true,
         plain,
         "",
         "kelvara: pictures from a feed (https://example.org/feed) are not supported; a plain "
         "picture instead\n"},
        {"0x2a",
         {false, false, "", "Cannot read /home/u/.xscreensaver: Permission denied"},
         true,
         plain,
         "",
         "kelvara: Cannot read /home/u/.xscreensaver: Permission denied; the screen is "
         "not shown\n"},
        // By hand or under another host nothing is asked.
        {nullptr, {false, false, "", ""}, true, screen, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.imageDirectory + " " + c.settings.problem);
        if (c.saverWindow) {
            setenv("XSCREENSAVER_WINDOW", c.saverWindow, 1);
        } else {
            unsetenv("XSCREENSAVER_WINDOW");
        }
        services.hostImageSettings = c.settings;
        services.folderPicture.reset();
        if (c.folderHasPicture) {
            services.folderPicture = filled(2000, 1500, 90);
        }
        log.clear();
        testing::internal::CaptureStderr();
        auto form = make({"--root"});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        ASSERT_NE(form->desktopBitmap, nullptr);
        const uint8_t* corner = form->desktopBitmap->row(0);
        EXPECT_EQ(std::vector<uint8_t>(corner, corner + 3), c.corner);
        const auto folderCalls = std::count_if(log.begin(), log.end(), [](const std::string& call) {
            return call.starts_with("pictureFromFolder ");
        });
        EXPECT_EQ(folderCalls, c.folderAsked.empty() ? 0 : 1);
        if (!c.folderAsked.empty()) {
            EXPECT_EQ(countOf(log, "pictureFromFolder " + c.folderAsked), 1);
        }
        EXPECT_EQ(countOf(log, "captureScreen"), 0);
    }
    unsetenv("XSCREENSAVER_WINDOW");
}

TEST_F(TForm1Test, HostModeWithAMissingWindowOrAFailedStartEndsTheConstruction) {
    services.hostWindowExists = false;
    EXPECT_THROW(make({"--window-id", "77"}), Exception);
    EXPECT_EQ(countOf(log, "initGraphics"), 0);

    services.hostWindowExists = true;
    services.initResult = 0;
    EXPECT_THROW(make({"--window-id", "77"}), Exception);
    EXPECT_FALSE(services.app.idle);
    EXPECT_EQ(countOf(log, "buildSaver"), 0);
    EXPECT_EQ(countOf(log, "shutdownGraphics"), 1);

    EXPECT_THROW(make({"--window-id", "0x"}), Exception);
}

} // namespace
