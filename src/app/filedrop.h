#pragma once
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

// The local files of a drop, in the drop's order, with native separators.
// URLs that are not local files are left out.
QStringList localFilesOf(const QMimeData *data);

// Makes widgets accept file drops and hands every drop of URLs to one
// callback, so that a text box never takes a file drop as text. Drags
// without URLs are left to the widget itself, or refused.
class FileDropFilter : public QObject
{
public:
    using Handler = std::function<void(const QMimeData *)>;
    FileDropFilter(Handler handler, QObject *parent);

    enum class OtherDrags { LeaveToWidget, Refuse };
    void install(QWidget *target, OtherDrags other = OtherDrags::LeaveToWidget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_handler;
    QList<QObject *> m_refusing; // targets that take nothing but files
};
