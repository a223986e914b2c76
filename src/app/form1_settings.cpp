// The settings file tapeknot.ini beside the program: read once at start-up
// straight into the controls, written once at an accepted close.
#include "app/form1.h"

#include "app/layout.h"
#include "app/twips.h"
#include "join/commandline.h"
#include "platform/ansi.h"
#include "platform/profile.h"
#include "settings/settingkeys.h"
#include "sources/sourcelist.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>

#include <limits>

using settingkeys::inRangeOr;
using settingkeys::roundHalfEven;

namespace {

// y2 missing from the file: the window's height is known only once shown.
constexpr int kNoHeight = std::numeric_limits<int>::min();

// Whether a new file can be made in `folder`. On Windows a folder's
// attributes do not tell (Program Files is not read-only, yet refuses
// files): a file is made and removed again.
bool folderTakesFiles(const QString &folder)
{
#ifdef Q_OS_WIN
    QTemporaryFile probe(folder + QStringLiteral("/tapeknot-XXXXXX.tmp"));
    return probe.open();
#else
    return QFileInfo(folder).isWritable();
#endif
}

} // namespace

// A copy put in place by a package or the installer: its joiner under
// ../libexec, or on Windows its uninstaller beside it.
bool Form1::installedCopy() const
{
#ifdef Q_OS_WIN
    if (QFileInfo(m_programDir + QStringLiteral("/uninstall.exe")).isFile())
        return true;
#endif
    return QFileInfo(installedToolFolder(m_programDir)).isDir();
}

QString Form1::settingsPath() const
{
    // Beside the program wherever it is or can be. An installed copy never
    // writes into the system's program folder (even when run by root, or
    // where Windows lets it), and keeps its settings in the user's folder.
    const QString beside = m_programDir + QDir::separator() + QString::fromLatin1(settingkeys::kFileName);
    const QFileInfo besideInfo(beside);
    if (!installedCopy() && (besideInfo.exists() || besideInfo.isSymLink() || folderTakesFiles(m_programDir)))
        return beside;
#ifdef Q_OS_WIN
    // %APPDATA%\tapeknot
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
    if (folder.isEmpty())
        return beside;
    return QDir::toNativeSeparators(folder) + QDir::separator() + QString::fromLatin1(settingkeys::kFileName);
}

// Where the settings are read from: their own file, or for an installed
// copy that has none yet, the one an earlier version left beside the program.
QString Form1::settingsSource() const
{
    const QString path = settingsPath();
    const QString beside = m_programDir + QDir::separator() + QString::fromLatin1(settingkeys::kFileName);
    return QFileInfo::exists(path) || !installedCopy() ? path : beside;
}

settingkeys::Values Form1::settingFallbacks()
{
    // Defaults from the window's design size, centred on the primary screen.
    const double designWidth = layout::design::kOuterWidth;
    const double designHeight = designOuterHeight();
    double screenWidth = 0, screenHeight = 0;
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        screenWidth = twips::fromPixels(primary->geometry().width(), this);
        screenHeight = twips::fromPixels(primary->geometry().height(), this);
    }
    settingkeys::Values fallbacks;
    settingkeys::putPlacement(fallbacks, {roundHalfEven((screenWidth - designWidth) / 2),
                                          roundHalfEven((screenHeight - designHeight) / 2), roundHalfEven(designWidth),
                                          kNoHeight});
    settingkeys::putLastFolder(fallbacks, m_programDir);
    return fallbacks;
}

double Form1::designOuterHeight() const
{
    return layout::design::kClientHeight + twips::fromPixels(menuBar()->sizeHint().height(), this);
}

Form1::Placement Form1::LoadPlacement(const settingkeys::Values &values, const settingkeys::Values &fallbacks)
{
    Placement p;
    static_cast<settingkeys::Placement &>(p) = settingkeys::placementOf(values);
    const int designHeight = roundHalfEven(designOuterHeight());
    // A height missing, or one the window cannot take (it is a 16-bit
    // value), is the design height: known only once shown, with the title
    // bar and frame on top of this.
    if (p.y2 == kNoHeight || p.y2 < 1 || p.y2 > std::numeric_limits<qint16>::max()) {
        p.y2 = designHeight;
        p.withoutFrame = true;
    }
    // A width the window cannot take falls back to the design width.
    p.x2 = inRangeOr(p.x2, 1, std::numeric_limits<int>::max(), settingkeys::placementOf(fallbacks).x2);
    return p;
}

// The controls that show the keys, as the settings table names them, in its order.
QList<std::pair<QByteArray, QObject *>> Form1::settingControls() const
{
    QList<std::pair<QByteArray, QObject *>> controls;
    for (const settingkeys::Key &key : settingkeys::keys())
        if (key.control)
            if (QObject *control = findChild<QObject *>(QLatin1String(key.control)))
                controls.append({key.name, control});
    return controls;
}

void Form1::LoadSettings(const settingkeys::Values &values)
{
    // Keep-on-top comes first: the window is topmost before it is shown.
    for (const auto &[key, control] : settingControls()) {
        const QVariant value = values.value(key);
        if (auto *box = qobject_cast<QCheckBox *>(control))
            box->setChecked(value.toInt() == 1);
        else if (auto *group = qobject_cast<QButtonGroup *>(control))
            group->button(value.toInt())->setChecked(true);
        else if (auto *edit = qobject_cast<QLineEdit *>(control))
            edit->setText(value.toString());
    }
    m_sources->setLastFolder(settingkeys::lastFolderOf(values));
    RefreshPreview();
}

void Form1::SaveSettings()
{
    const QString path = settingsPath();
    ProfileDocument::LoadResult loaded;
    ProfileDocument settings = ProfileDocument::load(path, &loaded);
    if (loaded == ProfileDocument::LoadResult::Unreadable)
        return; // what it holds is unknown: never write over it

    settingkeys::Values values;
    settingkeys::putPlacement(values, currentPlacement());
    settingkeys::putLastFolder(values, m_sources->lastFolder());
    for (const auto &[key, control] : settingControls()) {
        if (auto *box = qobject_cast<QCheckBox *>(control))
            values[key] = box->isChecked() ? 1 : 0;
        else if (auto *group = qobject_cast<QButtonGroup *>(control))
            values[key] = qMax(0, group->checkedId());
        else if (auto *edit = qobject_cast<QLineEdit *>(control))
            values[key] = edit->text();
    }
    settingkeys::write(settings, values);

    // A file that cannot be written is not reported; the program ends as usual.
    QDir().mkpath(QFileInfo(path).absolutePath());
    settings.save(path);
}
