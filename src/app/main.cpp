#include "app/form1.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QPalette>
#include <QEvent>

#include <algorithm>
#include <cmath>
#include <QTranslator>

#ifdef Q_OS_WIN
// Windows names its dialog face "MS Shell Dlg", which only a Japanese
// Windows maps to a Japanese face; elsewhere (Wine among them) the window's
// Latin text fell back to a serif face. The usual Japanese interface faces
// of Windows come first, then those that stand in for them.
void chooseInterfaceFace()
{
    const QStringList installed = QFontDatabase::families();
    QStringList faces;
    for (const char *face : {"Yu Gothic UI", "Meiryo UI", "MS UI Gothic", "IPAPGothic", "IPA Pゴシック",
                             "Noto Sans CJK JP", "Segoe UI", "Tahoma", "DejaVu Sans"})
        if (installed.contains(QString::fromUtf8(face), Qt::CaseInsensitive))
            faces.append(QString::fromUtf8(face));
    if (faces.isEmpty())
        return;
    QFont font = QApplication::font();
    font.setFamilies(faces);
    QApplication::setFont(font);
}

// Popup menus never become active windows, so they are drawn in the
// palette's inactive colours, which Wine's theme leaves light grey: they
// take the active ones, as Windows' own menus do.
void activeColoursForMenus()
{
    QPalette menus = QApplication::palette("QMenu");
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        menus.setBrush(QPalette::Inactive, QPalette::ColorRole(role),
                       menus.brush(QPalette::Active, QPalette::ColorRole(role)));
    QApplication::setPalette(menus, "QMenu");
}

// The style colours a tooltip's text as the system's theme says; where that
// colour is hard to read on the tooltip (Wine's theme: light grey on white),
// the text takes the system's tooltip text colour instead.
class ReadableTooltips : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->inherits("QTipLabel")) {
            auto *tip = static_cast<QWidget *>(watched);
            QPalette palette = tip->palette();
            if (contrast(palette.color(QPalette::ToolTipText), palette.color(QPalette::ToolTipBase)) < 4.5) {
                palette.setColor(QPalette::ToolTipText, QGuiApplication::palette().color(QPalette::ToolTipText));
                tip->setPalette(palette);
            }
        }
        return false;
    }

private:
    static double luminance(const QColor &c)
    {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    }
    static double contrast(const QColor &a, const QColor &b)
    {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    }
};
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef Q_OS_WIN
    chooseInterfaceFace();
    activeColoursForMenus();
    app.installEventFilter(new ReadableTooltips(&app));
#endif
    QApplication::setApplicationName(QStringLiteral("tapeknot"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("tapeknot"));

    QTranslator qtTexts;
    installQtTexts(qtTexts);

    QtPlatform platform;
    Form1 window(platform, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    window.StartUp();
    // "Open with": the files the desktop hands over join the list.
    window.AddCommandLineFiles(QCoreApplication::arguments().mid(1));
    return app.exec();
}
