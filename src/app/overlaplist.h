#pragma once
#include <QListView>

// A list whose top edge lies under another control: its rows begin below
// the covered strip, so that none is hidden.
class OverlappedList : public QListView
{
public:
    using QListView::QListView;
    void setCoveredTop(int pixels) { setViewportMargins(0, pixels, 0, 0); }
};
