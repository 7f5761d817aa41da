// The player's pieces that need no display: fitting the back buffer into
// the window, SDL keys as virtual keys, the viewer's control keys and the
// clock they pause, the environment's settings, and the window system's
// hooks that connect a real window to the program's, the size the device
// draws at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/sdl/key_mapping.hpp"
#include "host/sdl/player_settings.hpp"
#include "host/sdl/render_size_choice.hpp"
#include "host/sdl/viewer_controls.hpp"
#include "host/viewer_clock.hpp"
#include "host/virtual_display.hpp"
#include "host/picture_fit.hpp"
#include "win32/window_system.hpp"

namespace {

using host::FitRect;

void expectFit(FitRect fit, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
{
    EXPECT_EQ(fit.x, x);
    EXPECT_EQ(fit.y, y);
    EXPECT_EQ(fit.width, width);
    EXPECT_EQ(fit.height, height);
}

TEST(PlayerWindowFit, backBufferKeepsItsAspectCentredInAnyWindow)
{
    expectFit(host::fitKeepingAspect(1024, 768, 1024, 768), 0, 0, 1024, 768);
    expectFit(host::fitKeepingAspect(1920, 1080, 1024, 768), 240, 0, 1440, 1080); // pillar-box
    expectFit(host::fitKeepingAspect(1024, 1000, 1024, 768), 0, 116, 1024, 768);  // letter-box
    expectFit(host::fitKeepingAspect(2048, 1536, 1024, 768), 0, 0, 2048, 1536);
    expectFit(host::fitKeepingAspect(3, 1, 1024, 768), 1, 0, 1, 1);
    expectFit(host::fitKeepingAspect(0, 768, 1024, 768), 0, 0, 0, 0);
    expectFit(host::fitKeepingAspect(1024, 768, 0, 0), 0, 0, 0, 0);
}

TEST(PlayerKeys, sdlKeysBecomeTheVirtualKeysOfWindows)
{
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_ESCAPE), 0x1Bu);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_a), static_cast<unsigned>('A'));
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_z), static_cast<unsigned>('Z'));
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_0), static_cast<unsigned>('0'));
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_F1), 0x70u);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_F12), 0x7Bu);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_SPACE), 0x20u);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_RETURN), 0x0Du);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_LEFT), 0x25u);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_LSHIFT), 0x10u);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_RSHIFT), 0x10u);
    EXPECT_EQ(sdlhost::virtualKeyOf(SDLK_VOLUMEUP), 0u); // none: not delivered
}

TEST(ViewerControls, theViewersKeysAreTakenAndEveryOtherKeyIsTheProgramsOwn)
{
    const auto key = [](SDL_Keycode code, Uint16 mod) {
        SDL_Keysym sym = {};
        sym.sym = code;
        sym.mod = mod;
        return sdlhost::controlKeyOf(sym);
    };
    using sdlhost::ControlKey;
    EXPECT_EQ(key(SDLK_SPACE, KMOD_NONE), ControlKey::Pause);
    EXPECT_EQ(key(SDLK_RETURN, KMOD_LALT), ControlKey::FullScreen);
    EXPECT_EQ(key(SDLK_RETURN, KMOD_RALT), ControlKey::FullScreen);
    EXPECT_EQ(key(SDLK_F11, KMOD_NONE), ControlKey::FullScreen);
    EXPECT_EQ(key(SDLK_F12, KMOD_NONE), ControlKey::Screenshot);
    EXPECT_EQ(key(SDLK_RIGHT, KMOD_NONE), ControlKey::Forward);
    EXPECT_EQ(key(SDLK_LEFT, KMOD_NONE), ControlKey::Back);
    EXPECT_EQ(key(SDLK_PAGEUP, KMOD_NONE), ControlKey::FarForward);
    EXPECT_EQ(key(SDLK_PAGEDOWN, KMOD_NONE), ControlKey::FarBack);
    EXPECT_EQ(key(SDLK_HOME, KMOD_NONE), ControlKey::ToStart);
    EXPECT_EQ(key(SDLK_PERIOD, KMOD_NONE), ControlKey::StepForward);
    EXPECT_EQ(key(SDLK_COMMA, KMOD_NONE), ControlKey::StepBack);
    // Escape ends the program, as it always has; Enter alone is its own.
    EXPECT_EQ(key(SDLK_ESCAPE, KMOD_NONE), ControlKey::None);
    EXPECT_EQ(key(SDLK_RETURN, KMOD_NONE), ControlKey::None);
    EXPECT_EQ(key(SDLK_a, KMOD_LALT), ControlKey::None);
}

TEST(ViewerControls, seeksStayOnTheTimelineAndStepsLandOnTheDisplaysRetraces)
{
    using sdlhost::ControlKey;
    using sdlhost::seekTargetOf;
    EXPECT_EQ(seekTargetOf(ControlKey::Forward, 40840), 45840);
    EXPECT_EQ(seekTargetOf(ControlKey::Back, 40840), 35840);
    EXPECT_EQ(seekTargetOf(ControlKey::Back, 3000), 0);
    EXPECT_EQ(seekTargetOf(ControlKey::FarForward, 70000), host::TimelineEndMs);
    EXPECT_EQ(seekTargetOf(ControlKey::FarBack, 40840), 10840);
    EXPECT_EQ(seekTargetOf(ControlKey::ToStart, 40840), 0);
    EXPECT_EQ(seekTargetOf(ControlKey::Pause, 40840), 40840);
    // A 60 Hz display's retraces fall at floor(k * 1000 / 60) ms: 0, 16,
    // 33, 50, ... 40833, 40850. A step from a time between two goes to one
    // of them; from a retrace, to the next or the last.
    EXPECT_EQ(seekTargetOf(ControlKey::StepForward, 40840), 40850);
    EXPECT_EQ(seekTargetOf(ControlKey::StepBack, 40840), 40833);
    EXPECT_EQ(seekTargetOf(ControlKey::StepForward, 40850), 40866);
    EXPECT_EQ(seekTargetOf(ControlKey::StepBack, 40850), 40833);
    EXPECT_EQ(seekTargetOf(ControlKey::StepForward, 0), 16);
    EXPECT_EQ(seekTargetOf(ControlKey::StepBack, 16), 0);
    EXPECT_EQ(seekTargetOf(ControlKey::StepBack, 0), 0);
    EXPECT_EQ(seekTargetOf(ControlKey::StepForward, host::TimelineEndMs), host::TimelineEndMs);
    for (const std::int32_t ms : {0, 16, 33, 50, 40833, 40850, 81000}) {
        EXPECT_TRUE(host::isRetraceTime(ms, 60)) << ms;
    }
    for (const std::int32_t ms : {-16, 1, 17, 40840, 40851}) {
        EXPECT_FALSE(host::isRetraceTime(ms, 60)) << ms;
    }
    const std::vector<std::int32_t> retraces = host::retraceTimes(0, 1000, 60);
    for (std::size_t k = 1; k < retraces.size(); ++k) {
        EXPECT_EQ(host::nextRetraceAfter(retraces[k - 1], 60), retraces[k]);
        EXPECT_EQ(host::previousRetraceBefore(retraces[k], 60), retraces[k - 1]);
    }
    EXPECT_EQ(sdlhost::describeTime(40840, true), "0:40.840");
    EXPECT_EQ(sdlhost::describeTime(81000), "1:21.0");
}

TEST(ViewerClock, standsAtTheTimeLastReadWhilePausedAndGoesOnFromThere)
{
    std::uint64_t steady = 1000;
    host::ViewerClock clock([&steady] { return steady; });
    EXPECT_EQ(clock.milliseconds(), 1000u); // the frame on the screen read 1000
    steady += 7;
    clock.pause(); // 7 ms later: still the frame of 1000
    steady += 5000;
    EXPECT_EQ(clock.milliseconds(), 1000u);
    clock.pause(); // twice is once
    steady += 100;
    EXPECT_EQ(clock.milliseconds(), 1000u);
    clock.resume();
    EXPECT_EQ(clock.milliseconds(), 1000u);
    steady += 16;
    EXPECT_EQ(clock.milliseconds(), 1016u);
    clock.resume(); // not paused: nothing
    EXPECT_EQ(clock.milliseconds(), 1016u);
    // It wraps at 2^32 as timeGetTime does: 5,107 ms were held.
    steady = (std::uint64_t{1} << 32) + 5107 + 9;
    EXPECT_EQ(clock.milliseconds(), 9u);
}

TEST(PlayerSettings, startTimeTakesMillisecondsOrMinutesAndSecondsAndNothingElse)
{
    std::int32_t ms = -1;
    EXPECT_TRUE(sdlhost::readStartTime("40840", ms));
    EXPECT_EQ(ms, 40840);
    EXPECT_TRUE(sdlhost::readStartTime("0:40.84", ms));
    EXPECT_EQ(ms, 40840);
    EXPECT_TRUE(sdlhost::readStartTime("1:20", ms));
    EXPECT_EQ(ms, 80000);
    EXPECT_TRUE(sdlhost::readStartTime("0:00.005", ms));
    EXPECT_EQ(ms, 5);
    EXPECT_TRUE(sdlhost::readStartTime("0", ms));
    EXPECT_EQ(ms, 0);
    for (const char* bad : {"", "-5", "1:2", "1:60", "1:20.1234", "x", "1:20s", "40s", "99999999999", "1441:00"}) {
        EXPECT_FALSE(sdlhost::readStartTime(bad, ms)) << bad;
    }
}

TEST(PlayerSettings, environmentChoosesDeviceAndWindowAndRefusesUnknownValues)
{
    sdlhost::PlayerSettings settings;
    std::string why;
    ASSERT_TRUE(sdlhost::readPlayerSettings({}, settings, why));
    EXPECT_EQ(settings.device, nullptr);
    EXPECT_FALSE(settings.windowed);
    EXPECT_FALSE(settings.stats);

    ASSERT_TRUE(sdlhost::readPlayerSettings({"gl", "1", "0", "2"}, settings, why));
    ASSERT_NE(settings.device, nullptr);
    EXPECT_EQ(settings.device->name, "gl");
    EXPECT_TRUE(settings.windowed);
    ASSERT_TRUE(sdlhost::readPlayerSettings({"software", "", "1", "1920x1200"}, settings, why));
    ASSERT_NE(settings.device, nullptr);
    EXPECT_EQ(settings.device->name, "software");
    EXPECT_FALSE(settings.windowed);
    EXPECT_TRUE(settings.stats);

    EXPECT_EQ(settings.render.kind, sdlhost::RenderChoice::Kind::Size);
    EXPECT_EQ(settings.render.size, (d3d9::RenderSize{1920, 1200}));

    EXPECT_FALSE(sdlhost::readPlayerSettings({"vulkan"}, settings, why));
    EXPECT_NE(why.find("DEMO_DEVICE"), std::string::npos);
    EXPECT_FALSE(sdlhost::readPlayerSettings({nullptr, "yes"}, settings, why));
    EXPECT_NE(why.find("DEMO_WINDOWED"), std::string::npos);
    EXPECT_FALSE(sdlhost::readPlayerSettings({nullptr, nullptr, nullptr, "5"}, settings, why));
    EXPECT_NE(why.find("DEMO_SCALE"), std::string::npos);
    EXPECT_EQ(settings.device->name, "software"); // a refused reading changes nothing
}

TEST(PlayerRenderSize, scaleSettingTakesAutoMultiplesAndSizesOnly)
{
    using Kind = sdlhost::RenderChoice::Kind;
    sdlhost::RenderChoice choice;
    std::string why;
    ASSERT_TRUE(sdlhost::readRenderChoice("3", choice, why));
    EXPECT_EQ(choice.kind, Kind::Scale);
    EXPECT_EQ(choice.scale, 3);
    ASSERT_TRUE(sdlhost::readRenderChoice("2133x1600", choice, why));
    EXPECT_EQ(choice.kind, Kind::Size);
    EXPECT_EQ(choice.size, (d3d9::RenderSize{2133, 1600}));
    ASSERT_TRUE(sdlhost::readRenderChoice("auto", choice, why));
    EXPECT_EQ(choice.kind, Kind::Automatic);
    for (const char* bad : {"0", "5", "1.5", "x", "0x768", "1024x", "1024x768x", "8193x10", "-4x-3", "+1024x768",
                            " 1024x768", "AUTO", ""}) {
        EXPECT_FALSE(sdlhost::readRenderChoice(bad, choice, why)) << bad;
    }
    EXPECT_EQ(choice.kind, Kind::Automatic); // refused: unchanged
    EXPECT_NE(why.find("WxH"), std::string::npos);

    // The picture's size is the back buffer fitted into the drawable.
    EXPECT_EQ(host::shownSize(2560, 1600, {1024, 768}), (d3d9::RenderSize{2133, 1600}));
    EXPECT_EQ(host::shownSize(3840, 2160, {1024, 768}), (d3d9::RenderSize{2880, 2160}));
}

TEST(PlayerRenderSize, softwareSizeStepsDownWhileFramesMissTheRefreshAndNeverBelowTheProgramsOrBackUp)
{
    sdlhost::AdaptiveRenderSize adaptive(16.0);
    const d3d9::RenderSize program = {1024, 768};
    const d3d9::RenderSize shown = {2048, 1536};
    EXPECT_EQ(adaptive.sizeFor(shown, program), shown);
    // A second of frames of which a tenth take more than 4/5 of the refresh.
    auto second = [&](double slowMs) {
        bool stepped = false;
        for (int i = 0; i < 65; ++i) {
            stepped = adaptive.frameMade(i % 8 == 0 ? slowMs : 5.0) || stepped;
        }
        return stepped;
    };
    EXPECT_FALSE(second(12.0)); // 3/4 of a refresh: kept
    EXPECT_EQ(adaptive.sizeFor(shown, program), shown);
    EXPECT_TRUE(second(14.0));
    EXPECT_EQ(adaptive.sizeFor(shown, program), (d3d9::RenderSize{1792, 1344}));
    EXPECT_FALSE(second(1.0)); // fast again: no way back up
    EXPECT_EQ(adaptive.sizeFor(shown, program), (d3d9::RenderSize{1792, 1344}));
    for (int i = 0; i < 10; ++i) {
        second(40.0);
        adaptive.sizeFor(shown, program);
    }
    EXPECT_EQ(adaptive.sizeFor(shown, program), program); // the floor
    EXPECT_FALSE(second(40.0));
    EXPECT_EQ(adaptive.steps(), 4);

    // A picture smaller than the program's back buffer: drawn at its own size.
    sdlhost::AdaptiveRenderSize small(16.0);
    EXPECT_EQ(small.sizeFor({640, 480}, program), (d3d9::RenderSize{640, 480}));
    EXPECT_FALSE(small.frameMade(40.0));
}

LRESULT CALLBACK defaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(WindowSystemHooks, hostHearsVisibilityCursorAndIsAskedForInputAtEveryPeek)
{
    win32::resetWindowSystem();
    std::vector<std::string> heard;
    win32::HostHooks hooks;
    hooks.pumpInput = [&] { heard.push_back("pump"); };
    hooks.onVisibility = [&](HWND, bool visible, const RECT& rect) {
        heard.push_back(std::string(visible ? "shown " : "hidden ") + std::to_string(rect.right - rect.left));
    };
    hooks.onCursor = [&](bool hidden) { heard.push_back(hidden ? "no cursor" : "cursor"); };
    win32::setHostHooks(hooks);

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &defaultProcedure;
    windowClass.lpszClassName = "hooked";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    const HWND window = CreateWindowExA(0, "hooked", "hooked", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(heard.empty()); // created hidden
    SetWindowPos(window, nullptr, 0, 0, 1024, 768, SWP_SHOWWINDOW);
    SetWindowPos(window, nullptr, 0, 0, 1024, 768, SWP_SHOWWINDOW); // already shown: no news
    SetCursor(nullptr);
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    DestroyWindow(window);
    win32::setHostHooks({});
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); // hooks gone: nothing more heard
    win32::resetWindowSystem();

    const std::vector<std::string> expected = {"shown 1024", "no cursor", "pump", "hidden 1024"};
    EXPECT_EQ(heard, expected);
}

} // namespace

TEST(PlayerSettings, commandLineTakesLoopVsyncAndAStartTimeAndRefusesBadOnes)
{
    const auto read = [](std::vector<std::string> words, sdlhost::PlayerSettings& settings) {
        words.insert(words.begin(), "demo");
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        return sdlhost::readPlayerCommandLine(static_cast<int>(argv.size()), argv.data(), settings);
    };
    sdlhost::PlayerSettings settings;
    EXPECT_TRUE(read({}, settings).play);
    EXPECT_FALSE(settings.loop);
    EXPECT_TRUE(settings.vsync);
    EXPECT_TRUE(read({"--loop", "--vsync", "off", "--start", "1:20", "--paused"}, settings).play);
    EXPECT_TRUE(settings.loop);
    EXPECT_FALSE(settings.vsync);
    EXPECT_EQ(settings.startMs, 80000);
    EXPECT_TRUE(settings.paused);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--vsync", "maybe"},
                                                std::vector<std::string>{"--start", "soon"},
                                                std::vector<std::string>{"--loop-forever"}}) {
        sdlhost::PlayerSettings other;
        const sdlhost::CommandLineOutcome outcome = read(bad, other);
        EXPECT_FALSE(outcome.play) << bad[0];
        EXPECT_EQ(outcome.exitCode, 2) << bad[0];
    }
}
