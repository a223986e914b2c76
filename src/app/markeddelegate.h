#pragma once
#include <QApplication>
#include <QStyle>
#include <QStyledItemDelegate>

// Rows whose `role` is true get a warning sign, and with `tint` dark red
// text, so that a mark does not rest on colour alone.
class MarkedRowDelegate : public QStyledItemDelegate
{
public:
    MarkedRowDelegate(int role, bool tint, QObject *parent) : QStyledItemDelegate(parent), m_role(role), m_tint(tint) {}

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(m_role).toBool())
            return;
        const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
        const int side = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, option->widget);
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, option->widget);
        option->decorationSize = QSize(side, side);
        if (m_tint) {
            option->palette.setBrush(QPalette::Text, QBrush(Qt::darkRed));
            option->palette.setBrush(QPalette::HighlightedText, QBrush(Qt::darkRed));
        }
    }

private:
    int m_role;
    bool m_tint;
};
