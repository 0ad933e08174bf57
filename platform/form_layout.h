// The form's stored layout, as its resources lay it out once for every form back end: the
// client area, the preview's place, each control's rectangle and text, the fonts, the colours
// and the stop timer. Rectangles are client coordinates of the form, those inside a group box
// written as the box's corner plus the control's place in it.
#pragma once

#include <cstdint>

struct ControlLayout {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    const char* text = nullptr;
};

struct FormLayout {
    const char* caption = "Settings";
    int clientWidth = 280;
    int clientHeight = 352;
    // The preview's place inside its host.
    int left = 736;
    int top = 361;

    ControlLayout groupBox1{8, 8, 265, 89, "Hardware Settings"};
    ControlLayout label1{8 + 8, 8 + 27, 50, 13, "Resolution"};
    ControlLayout res{8 + 64, 8 + 24, 193, 21};
    ControlLayout sound{8 + 8, 8 + 64, 97, 17, "Enable Sound"};
    ControlLayout customBox{8, 104, 265, 193, "Customize"};
    ControlLayout customStrings{8 + 8, 104 + 16, 249, 137};
    ControlLayout button2{8 + 184, 104 + 160, 75, 25, "Default"};
    // OK keeps its distance from the bottom edge and the web link spans it, when the form's
    // height changes.
    ControlLayout button1{200, 304, 75, 25, "OK"};
    ControlLayout label2{0, 352 - 16, 280, 16}; // its text is the program's (FormArt::linkText)

    // The first item of `res`, before the display modes, and the `sound` box's first state.
    const char* resFirstItem = "desktop resolution";
    bool soundChecked = true;
    // "MS Sans Serif" 8 pt, 11 pixels high; the link is 13 pixels, bold and underlined.
    const char* fontName = "MS Sans Serif";
    int fontPixels = 11;
    int linkFontPixels = 13;
    // 0x00BBGGRR: the form behind the hidden dialog (the full-screen run), and the link's text.
    uint32_t colour = 0x000000;
    uint32_t linkColour = 0x800000; // navy
    int stopTimerMs = 30000;

    int button1BottomGap() const { return clientHeight - button1.top; }
};

inline constexpr FormLayout formLayout{};
