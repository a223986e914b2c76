#pragma once
#include <QObject>

// While one exists, the application acts on no click, key, wheel or drop:
// the window still repaints, but nothing the user does reaches a control.
// A window named "ConsoleWindow" (the tool's output) stays scrollable.
class InputBlocker : public QObject
{
public:
    InputBlocker();
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
