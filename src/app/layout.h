#pragma once

// The run page follows the window's size. Everything here is in twips
// (1/1440 inch), computed first and only then turned into pixels.
namespace layout {

constexpr double kMinimumOuterWidth = 4900;
constexpr double kMargin = 150;
constexpr double kSourceListGap = 300;

struct TwipRect {
    double left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipRect &, const TwipRect &) = default;
};

// Design geometry of the window and of the controls the layout moves.
namespace design {
constexpr double kClientWidth = 7305;
constexpr double kClientHeight = 7605;
constexpr TwipRect kTab{45, 0, 7215, 6855};
constexpr TwipRect kList1{120, 480, 6975, 3180};
constexpr TwipRect kList2{120, 3720, 6975, 1740};
constexpr TwipRect kText5{120, 5520, 6615, 375};
constexpr TwipRect kSelect{120, 6000, 1335, 495};   // Command2(2)
constexpr TwipRect kRun{1560, 6000, 1335, 495};     // Command2(0)
constexpr TwipRect kClear{3000, 6000, 1335, 495};   // Command2(1)
// The outer width at which the tab gets exactly its design width.
constexpr double kOuterWidth = kTab.left + kTab.width + kMargin;
} // namespace design

struct RunPage {
    TwipRect tab, list1, list2, text5, select, run, clear;
};

struct WindowState {
    double outerWidth = 0;   // frame included
    double clientHeight = 0; // below the menu bar
    bool visible = false;
    bool minimized = false;
};

struct LayoutPass {
    bool applies = false;     // false while minimised: nothing moves
    double outerWidth = 0;    // the outer width the window must have (widened when too narrow)
    RunPage page;
};

// One pass of the layout over the controls' current geometry `current`
// (whose kept lefts, widths and heights carry through).
LayoutPass layoutRunPage(const WindowState &window, const RunPage &current);

RunPage designRunPage();

} // namespace layout
