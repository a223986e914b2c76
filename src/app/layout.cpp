#include "app/layout.h"

#include <algorithm>

namespace layout {

RunPage designRunPage()
{
    return {design::kTab, design::kList1, design::kList2, design::kText5,
            design::kSelect, design::kRun, design::kClear};
}

LayoutPass layoutRunPage(const WindowState &window, const RunPage &current)
{
    LayoutPass pass;
    if (window.minimized)
        return pass;
    pass.applies = true;
    pass.outerWidth = window.outerWidth;
    if (window.visible && pass.outerWidth < kMinimumOuterWidth)
        pass.outerWidth = kMinimumOuterWidth;

    RunPage p = current;
    p.tab.width = pass.outerWidth - p.tab.left - kMargin;
    p.tab.height = window.clientHeight - p.tab.top;
    p.run.top = p.tab.height - p.run.height - kMargin;
    p.clear.top = p.run.top;
    p.select.top = p.run.top;
    p.text5.top = p.run.top - p.text5.height - kMargin;
    p.text5.width = p.tab.width - p.list2.left - kMargin;
    p.list2.top = p.text5.top - p.list2.height;
    p.list2.width = p.text5.width;
    // A window too short for the source list leaves it with no height.
    p.list1.height = std::max(0.0, p.list2.top - kSourceListGap);
    p.list1.width = p.list2.width;
    pass.page = p;
    return pass;
}

} // namespace layout
