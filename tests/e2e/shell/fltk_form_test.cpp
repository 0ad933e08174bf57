// The FLTK form and message loop on the private X server, driven through their seams with real
// X input: what TForm1 relies on from them.
#include "platform/application.h"
#include "platform/form_view.h"
#include "platform/window_system.h"

#include "e2e.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include <FL/x.H>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace {

struct CountingEvents : FormEvents {
    void FormKeyDown() override { ++keys; }
    void FormMouseDown() override { ++buttons; }
    void FormMouseMove() override { ++moves; }
    void stopTimer() override { ++stops; }
    void Button1Click() override { ++ok; }
    void Button2Click() override {}
    void Label2Click() override { ++link; }
    void FormDestroy() override { ++destroyed; }
    int keys = 0, buttons = 0, moves = 0, stops = 0, ok = 0, link = 0, destroyed = 0;
};

// Waits for a condition while the form handles its messages.
bool pumpUntil(FormView& form, const std::function<bool()>& condition) {
    return e2e::waitUntil([&] {
        form.processPendingMessages();
        return condition();
    });
}

TEST(FltkForm, TheResolutionListTakesAnyTextAndSelectsNothingOutsideIt) {
    auto form = windowSystem().createFormView({});
    EXPECT_EQ(form->resCount(), 1);          // "desktop resolution"
    EXPECT_EQ(form->resSelectedIndex(), -1); // until the settings select an entry
    form->resSelect(0);
    form->resAdd("1024x768x32  60Hz");
    form->resAdd("a/b & _c\\d"); // menu markup must not split or hide it
    EXPECT_EQ(form->resCount(), 3);
    EXPECT_EQ(form->resSelectedIndex(), 0); // adding keeps the selection
    form->resSelect(2);
    EXPECT_EQ(form->resSelectedIndex(), 2);
    form->resSelect(3);
    EXPECT_EQ(form->resSelectedIndex(), -1);
    form->resSelect(-1);
    EXPECT_EQ(form->resSelectedIndex(), -1);
}

TEST(FltkForm, TheMemoKeepsItsLinesAsGiven) {
    auto form = windowSystem().createFormView({});
    EXPECT_TRUE(form->customLines().empty());
    const std::vector<std::string> lines{"one", "", "with blank", "a,b"};
    form->setCustomLines(lines);
    EXPECT_EQ(form->customLines(), lines);
    form->setCustomLines({});
    EXPECT_TRUE(form->customLines().empty());
    form->setCustomLines({""});
    EXPECT_EQ(form->customLines(), std::vector<std::string>{""});
}

TEST(FltkForm, SizesCountTheFrameUntilTheFormGoesFullScreen) {
    auto form = windowSystem().createFormView({});
    EXPECT_EQ(form->clientWidth(), 280);
    EXPECT_EQ(form->clientHeight(), 352);
    EXPECT_GT(form->width(), 280);
    form->setHeight(180);
    EXPECT_EQ(form->height(), 180);
    EXPECT_LT(form->clientHeight(), 180);
    EXPECT_EQ(form->clientWidth(), 280);
    int resizes = 0;
    form->setResizeHandler([&] { ++resizes; });
    form->makeFullScreen();
    form->show();
    ASSERT_TRUE(pumpUntil(*form, [&] {
        return form->clientWidth() == e2e::displayWidth() &&
               form->clientHeight() == e2e::displayHeight();
    }));
    EXPECT_EQ(form->width(), form->clientWidth());
    EXPECT_EQ(form->height(), form->clientHeight());
    EXPECT_GE(resizes, 1);
    form->close();
}

// The teardown as TForm1 does it: it hides the form itself, and needs the window still there
// when it starts, because the GL surface is the window's child.
struct TeardownEvents : CountingEvents {
    void FormDestroy() override {
        ++destroyed;
        windowThere = e2e::windowGeometry(window).width > 0;
        form->hide();
    }
    FormView* form = nullptr;
    e2e::Window window = e2e::noWindow;
    bool windowThere = false;
};

TEST(FltkForm, FullScreenInputReachesTheEventsAndCloseReportsOnce) {
    auto form = windowSystem().createFormView({});
    TeardownEvents events;
    events.form = form.get();
    form->setEvents(&events);
    form->setCaption("kelvara form test");
    form->makeFullScreen();
    form->show();
    const e2e::Window window = e2e::waitForWindow("kelvara form test");
    ASSERT_NE(window, e2e::noWindow);
    events.window = window;
    form->focus();
    for (int i = 0; i < 5; ++i) {
        e2e::moveTo(window, 100 + 10 * i, 100);
        ASSERT_TRUE(pumpUntil(*form, [&] { return events.moves > i; }));
    }
    e2e::clickIn(window, 300, 300);
    ASSERT_TRUE(pumpUntil(*form, [&] { return events.buttons == 1; }));
    e2e::pressKey("a");
    ASSERT_TRUE(pumpUntil(*form, [&] { return events.keys == 1; }));
    e2e::pressKey("Escape"); // no close request of its own
    ASSERT_TRUE(pumpUntil(*form, [&] { return events.keys == 2; }));
    EXPECT_EQ(events.destroyed, 0);

    form->close();
    form->close();
    EXPECT_EQ(events.destroyed, 1);
    EXPECT_TRUE(events.windowThere);
    EXPECT_TRUE(e2e::waitForWindowGone("kelvara form test"));
    EXPECT_TRUE(pumpUntil(*form, [&] { return e2e::windowGeometry(window).width == 0; }));
}

TEST(FltkForm, EveryMotionEventCountsAlsoInABurst) {
    auto form = windowSystem().createFormView({});
    CountingEvents events;
    form->setEvents(&events);
    form->setCaption("kelvara motion test");
    form->makeFullScreen();
    form->show();
    const e2e::Window window = e2e::waitForWindow("kelvara motion test");
    ASSERT_NE(window, e2e::noWindow);
    e2e::moveTo(window, 500, 400);
    ASSERT_TRUE(pumpUntil(*form, [&] { return events.moves >= 1; }));
    const int before = events.moves;
    // Eleven moves sent before the form looks: all of them arrive as events of their own.
    for (int i = 1; i <= 11; ++i) {
        e2e::moveTo(window, 10 + i, 10 + i);
    }
    EXPECT_TRUE(pumpUntil(*form, [&] { return events.moves == before + 11; })) << events.moves;
    form->close();
}

TEST(FltkForm, TheStartUpLogStaysPaintedOverLaterExposes) {
    auto form = windowSystem().createFormView({});
    form->makeFullScreen();
    form->show();
    (void)form->nativeWindow(); // the GL picture owns the window from here on
    form->paintTexts(300, 100, {{10, 10, 0x0000FF, "Starting"}, {10, 40, 0x00FF00, "OK"}});
    const e2e::Window window = static_cast<e2e::Window>(form->nativeWindow().handle);
    auto colours = [&] {
        // Smoothed glyphs: count the pixels near the text colours.
        const std::vector<uint32_t> p = e2e::readPixels(window, 0, 0, 300, 100);
        auto near = [](uint32_t want) {
            return [want](uint32_t c) {
                for (int shift = 0; shift < 24; shift += 8) {
                    const int a = c >> shift & 0xFF, b = want >> shift & 0xFF;
                    if (std::abs(a - b) > 100) {
                        return false;
                    }
                }
                return true;
            };
        };
        return std::make_pair(std::count_if(p.begin(), p.end(), near(0xFF0000u)),
                              std::count_if(p.begin(), p.end(), near(0x00FF00u)));
    };
    ASSERT_TRUE(pumpUntil(*form, [&] { return colours().first > 10 && colours().second > 5; }));
    {
        // Another window over it and gone again: the expose paints the log back.
        e2e::HostWindow cover(400, 200, 0xFFFFFF);
    }
    EXPECT_TRUE(pumpUntil(*form, [&] { return colours().first > 10 && colours().second > 5; }));
    form->close();
}

TEST(FltkApplication, IdleCallsRunBackToBackOrAtThePaceAndTerminateEndsTheLoop) {
    auto application = windowSystem().createApplication(0, nullptr);
    auto form = windowSystem().createFormView({});
    form->keepHidden(); // nothing shows
    int calls = 0;
    application->setIdleHandler([&](bool& done) {
        done = false;
        if (++calls == 50) {
            application->terminate();
        }
    });
    application->run();
    EXPECT_EQ(calls, 50);

    auto paced = windowSystem().createApplication(0, nullptr);
    int pacedCalls = 0;
    paced->setIdleHandler(
        [&](bool& done) {
            done = false;
            if (++pacedCalls == 5) {
                paced->clearIdleHandler(); // from inside the handler itself
                paced->terminate();
            }
        },
        20);
    paced->run();
    EXPECT_EQ(pacedCalls, 5);
}

TEST(FltkApplication, ATerminationSignalClosesTheMainFormThroughItsTeardown) {
    auto application = windowSystem().createApplication(0, nullptr);
    auto form = windowSystem().createFormView({});
    CountingEvents events;
    form->setEvents(&events);
    form->keepHidden();
    application->setIdleHandler(
        [&](bool& done) {
            done = false;
            std::raise(SIGTERM);
        },
        10);
    application->run(); // ends, rather than the process
    EXPECT_EQ(events.destroyed, 1);
}

TEST(FltkApplication, AnXErrorIsReportedAndTheProgramGoesOn) {
    auto application = windowSystem().createApplication(0, nullptr);
    auto form = windowSystem().createFormView({});
    form->setCaption("kelvara error test");
    form->show();
    ASSERT_NE(e2e::waitForWindow("kelvara error test"), e2e::noWindow);
    // A request on a window that does not exist, on the form's own connection.
    testing::internal::CaptureStderr();
    XDestroyWindow(fl_display, 0x1fffffe);
    XSync(fl_display, False);
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("X error"), std::string::npos) << reported;
    form->close();
}

} // namespace
