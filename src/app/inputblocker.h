#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// While one exists, the application acts on no click, key, wheel or drop:
// the window still repaints, but nothing the user does reaches a control,
// except `allowed` (the cancel button) and Esc, which calls `onEscape`.
// A window named "ConsoleWindow" (the tool's output) stays scrollable.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget *allowed = nullptr, std::function<void()> onEscape = {});
    ~InputBlocker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool reachesAllowed(QObject *watched, QEvent *event) const;

    QPointer<QWidget> m_allowed;
    std::function<void()> m_onEscape;
};
