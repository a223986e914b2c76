#pragma once
#include <QWidget>

class QTabBar;

// A tab control whose pages cover the whole control, tab strip included,
// so that the controls on a page are placed relative to the control's top
// left corner (the strip lies above them).
class TabControl : public QWidget
{
    Q_OBJECT
public:
    explicit TabControl(int pageCount, QWidget *parent = nullptr);

    QWidget *page(int index) const;
    QTabBar *tabBar() const { return m_bar; }
    int count() const { return int(m_pages.size()); }
    int currentIndex() const;
    void setCurrentIndex(int index);
    void setTabCaption(int index, const QString &caption);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showPage(int index);

    QTabBar *m_bar;
    QList<QWidget *> m_pages;
};
