#pragma once
#include <QObject>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

// The local files of a drop, in the drop's order, with native separators.
// URLs that are not local files are left out.
QStringList localFilesOf(const QMimeData *data);

// Makes widgets accept file drops and hands every drop of URLs to one
// callback. Drags without URLs are left to the widget itself.
class FileDropFilter : public QObject
{
public:
    using Handler = std::function<void(const QMimeData *)>;
    FileDropFilter(Handler handler, QObject *parent);

    void install(QWidget *target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Handler m_handler;
};
