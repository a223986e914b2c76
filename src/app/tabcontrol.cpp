#include "app/tabcontrol.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

TabControl::TabControl(int pageCount, QWidget *parent) : QWidget(parent), m_bar(new QTabBar(this))
{
    m_bar->setObjectName(QStringLiteral("SSTab1_tabs"));
    m_bar->setDrawBase(false);
    m_bar->setExpanding(true);
    for (int i = 0; i < pageCount; ++i) {
        auto *page = new QWidget(this);
        page->setObjectName(QStringLiteral("SSTab1_page%1").arg(i));
        m_pages.append(page);
        m_bar->addTab(QString());
    }
    connect(m_bar, &QTabBar::currentChanged, this, &TabControl::showPage);
    showPage(0);
}

QWidget *TabControl::page(int index) const
{
    return m_pages.value(index);
}

int TabControl::currentIndex() const
{
    return m_bar->currentIndex();
}

void TabControl::setCurrentIndex(int index)
{
    m_bar->setCurrentIndex(index);
}

void TabControl::setTabCaption(int index, const QString &caption)
{
    m_bar->setTabText(index, caption);
}

void TabControl::showPage(int index)
{
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
    m_bar->raise();
}

void TabControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (QWidget *page : std::as_const(m_pages))
        page->setGeometry(rect());
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
    m_bar->raise();
}

void TabControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, m_bar->height() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->size();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
