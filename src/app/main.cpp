#include "app/form1.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tapeknot"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("tapeknot"));

    QtPlatform platform;
    Form1 window(platform, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    window.StartUp();
    return app.exec();
}
