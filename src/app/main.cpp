#include "app/form1.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tapeknot"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("tapeknot"));

    // The file dialogs and message boxes speak Japanese like the rest of the window.
    // (A Windows copy carries them in its own folder.)
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || qtTexts.load(QStringLiteral("qtbase_ja"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        QApplication::installTranslator(&qtTexts);

    QtPlatform platform;
    Form1 window(platform, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    window.StartUp();
    // "Open with": the files the desktop hands over join the list.
    window.AddCommandLineFiles(QCoreApplication::arguments().mid(1));
    return app.exec();
}
