// The window's size and place: the run page layout and the stored placement.
#include "app/form1.h"

#include "app/overlaplist.h"

#include "app/tabcontrol.h"
#include "app/twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QMoveEvent>
#include <QShowEvent>
#include <QTimer>

#include <cmath>

QSize Form1::frameExtra() const
{
    if (!isVisible())
        return {0, 0};
    return frameGeometry().size() - geometry().size();
}

void Form1::ApplyLayout()
{
    if (isMinimized())
        return;
    layout::WindowState window;
    window.outerWidth = twips::fromPixels(frameGeometry().width(), this);
    window.clientHeight = twips::fromPixels(centralWidget()->height(), this);
    window.visible = isVisible();
    window.minimized = isMinimized();

    // The kept lefts, widths and heights never change, so the design values
    // are the controls' current ones; only the computed values vary.
    const layout::LayoutPass pass = layout::layoutRunPage(window, layout::designRunPage());
    if (!pass.applies)
        return;
    if (pass.outerWidth > window.outerWidth)
        resize(twips::toPixels(pass.outerWidth, this) - frameExtra().width(), height());

    const layout::RunPage &p = pass.page;
    twips::place(SSTab1, p.tab);
    twips::place(List1, p.list1);
    twips::place(List2, p.list2);
    // The source list lies over the top of the result list: its rows begin
    // below the overlap, so none is hidden.
    static_cast<OverlappedList *>(List2)->setCoveredTop(
        qMax(0, List1->geometry().bottom() + 1 - List2->geometry().top()));
    if (Picture1->isVisible()) // the status panel covers the result list for the whole run
        placeStatusPanel();
    twips::place(Text5, p.text5);
    twips::place(Command2[2], p.select);
    twips::place(Command2[0], p.run);
    twips::place(Command2[1], p.clear);
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    settleFrame();
    ApplyLayout();
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    settleFrame();
    QTimer::singleShot(0, this, &Form1::settleFrame);
}

void Form1::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    settleFrame();
}

// The window manager tells the frame's size only some time after the window
// is shown: once it is known, keep the outer minimum width, and correct the
// start-up size so that the outer size is the stored one.
void Form1::settleFrame()
{
    if (!isVisible())
        return;
    const QSize extra = frameExtra();
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
        m_normalFrameExtra = extra;
        m_normalFrameOffset = geometry().topLeft() - frameGeometry().topLeft();
    }
    setMinimumWidth(qMax(0, twips::toPixels(layout::kMinimumOuterWidth, this) - m_normalFrameExtra.width()));
    if (m_placementPending && !extra.isNull()) {
        m_placementPending = false;
        Placement p = m_pendingPlacement;
        if (p.withoutFrame) {
            const int frame = int(std::lround(twips::fromPixels(extra.height(), this)));
            p.y2 += frame;
            p.y1 -= frame / 2;
            p.withoutFrame = false;
        }
        applyPlacement(p);
    }
}

Form1::Placement Form1::currentPlacement() const
{
    QRect outer = frameGeometry();
    if (isMaximized() || isMinimized() || isFullScreen()) {
        // The normal placement, not the maximised or minimised one, with
        // the frame the window has when it is normal.
        const QRect normal = normalGeometry();
        outer = QRect(normal.topLeft() - m_normalFrameOffset, normal.size() + m_normalFrameExtra);
    }
    auto t = [this](int px) { return int(std::lround(twips::fromPixels(px, this))); };
    return {t(outer.x()), t(outer.y()), t(outer.width()), t(outer.height())};
}

void Form1::applyPlacement(const Placement &placement)
{
    QRect outer(twips::toPixels(placement.x1, this), twips::toPixels(placement.y1, this),
                twips::toPixels(placement.x2, this), twips::toPixels(placement.y2, this));

    // A placement that lies outside every screen comes back onto the primary one.
    bool onScreen = false;
    const QScreen *mostlyOn = QGuiApplication::primaryScreen();
    qint64 largest = 0;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        const QRect seen = screen->availableGeometry().intersected(outer);
        if (seen.width() >= 32 && seen.height() >= 16)
            onScreen = true;
        if (!seen.isEmpty() && qint64(seen.width()) * seen.height() > largest) {
            largest = qint64(seen.width()) * seen.height();
            mostlyOn = screen;
        }
    }
    if (mostlyOn) {
        const QRect area = mostlyOn->availableGeometry();
        if (!onScreen) {
            outer.setSize(outer.size().boundedTo(area.size()));
            outer.moveCenter(area.center());
        }
        // A window larger than its screen is fitted into it, and the title
        // bar always stays on the screen.
        if (outer.width() > area.width() || outer.height() > area.height()) {
            outer.setSize(outer.size().boundedTo(area.size()));
            if (outer.right() > area.right())
                outer.moveRight(area.right());
            if (outer.bottom() > area.bottom())
                outer.moveBottom(area.bottom());
            if (outer.left() < area.left())
                outer.moveLeft(area.left());
        }
        if (outer.top() < area.top())
            outer.moveTop(area.top());
    }
    const bool adjusted = outer != QRect(twips::toPixels(placement.x1, this), twips::toPixels(placement.y1, this),
                                         twips::toPixels(placement.x2, this), twips::toPixels(placement.y2, this));

    const QSize extra = frameExtra();
    move(outer.topLeft());
    resize(qMax(1, outer.width() - extra.width()), qMax(1, outer.height() - extra.height()));
    if (!isVisible()) {
        m_placementPending = true;
        m_pendingPlacement = placement;
        if (adjusted) {
            auto t = [this](int px) { return int(std::lround(twips::fromPixels(px, this))); };
            m_pendingPlacement = {{t(outer.x()), t(outer.y()), t(outer.width()), t(outer.height())},
                                  placement.withoutFrame};
        }
    }
}
