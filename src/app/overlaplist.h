#pragma once
#include <QListWidget>

// A list whose top edge lies under another control: its rows begin below
// the covered strip, so that none is hidden.
class OverlappedList : public QListWidget
{
public:
    using QListWidget::QListWidget;
    void setCoveredTop(int pixels) { setViewportMargins(0, pixels, 0, 0); }
};
