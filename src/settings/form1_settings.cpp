// The settings file tapeknot.ini beside the program: read once at start-up
// straight into the controls, written once at an accepted close.
#include "app/form1.h"

#include "app/layout.h"
#include "app/twips.h"
#include "platform/ansi.h"
#include "platform/profile.h"
#include "settings/settingkeys.h"

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
using settingkeys::kSection;
using settingkeys::roundHalfEven;

namespace {

QString singleText(double value)
{
    return QString::number(double(float(value)), 'g', 7);
}

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

QString Form1::settingsPath() const
{
    // Beside the program wherever it is or can be; an installed copy, whose
    // folder takes no new file, keeps it in the user's configuration folder.
    const QString beside = m_programDir + QDir::separator() + QString::fromLatin1(settingkeys::kFileName);
    const QFileInfo besideInfo(beside);
    // An installed copy (its joiner under ../libexec) never writes into the
    // system's program folder, even when run by root.
    const bool installed = QFileInfo(m_programDir + QStringLiteral("/../libexec/tapeknot")).isDir();
    if (besideInfo.exists() || besideInfo.isSymLink() || (!installed && folderTakesFiles(m_programDir)))
        return beside;
#ifdef Q_OS_WIN
    // %APPDATA%\tapeknot, where an installed copy's settings go on Windows.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
#endif
    if (folder.isEmpty())
        return beside;
    return QDir::toNativeSeparators(folder) + QDir::separator() + QString::fromLatin1(settingkeys::kFileName);
}

Form1::Placement Form1::LoadPlacement(const ProfileDocument &settings)
{
    // Defaults from the window's design size, centred on the primary screen.
    const double designWidth = layout::design::kOuterWidth;
    const double designHeight =
        layout::design::kClientHeight + twips::fromPixels(menuBar()->sizeHint().height(), this);
    double screenWidth = 0, screenHeight = 0;
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        screenWidth = twips::fromPixels(primary->geometry().width(), this);
        screenHeight = twips::fromPixels(primary->geometry().height(), this);
    }
    const int defaultLeft = roundHalfEven((screenWidth - designWidth) / 2);
    const int defaultTop = roundHalfEven((screenHeight - designHeight) / 2);
    const int defaultWidth = roundHalfEven(designWidth);
    const int defaultHeight = roundHalfEven(designHeight);

    Placement p;
    p.x1 = settings.readInt(kSection, "x1", defaultLeft);
    p.y1 = settings.readInt(kSection, "y1", defaultTop);
    p.x2 = settings.readInt(kSection, "x2", defaultWidth);
    p.y2 = settings.readInt(kSection, "y2", std::numeric_limits<int>::min());
    if (p.y2 == std::numeric_limits<int>::min()) {
        // Known only once shown: the title bar and frame on top of this.
        p.y2 = defaultHeight;
        p.withoutFrame = true;
    }
    // Sizes the window cannot take fall back to the design size; the height
    // is a 16-bit value.
    p.x2 = inRangeOr(p.x2, 1, std::numeric_limits<int>::max(), defaultWidth);
    p.y2 = inRangeOr(p.y2, 1, std::numeric_limits<qint16>::max(), defaultHeight);
    return p;
}

void Form1::LoadSettings(const ProfileDocument &settings)
{
    auto flag = [&](const char *key) { return inRangeOr(settings.readInt(kSection, key, 0), 0, 1, 0); };
    auto text = [&](const char *key, const QString &fallback) {
        return ansi::decode(settings.readString(kSection, key, ansi::encode(fallback)));
    };

    Check1[0]->setChecked(flag("haiti") == 1); // makes the window topmost before it is shown
    Check1[1]->setChecked(flag("dos") == 1);

    const int sentou = inRangeOr(settings.readInt(kSection, "sentou", 0), 0, 1, 0);
    Option2[size_t(sentou)]->setChecked(true);
    Option2_Click(sentou);

    Check1[2]->setChecked(flag("sakujo") == 1);
    Check1[3]->setChecked(flag("clear") == 1);
    Check2[0]->setChecked(flag("nameop1") == 1);
    Check2[1]->setChecked(flag("nameop2") == 1);
    Check2[2]->setChecked(flag("nameop3") == 1);

    const int name = inRangeOr(settings.readInt(kSection, "name", 0), 0, 2, 0);
    Option1[size_t(name)]->setChecked(true);
    Option1_Click(name);

    Text1->setText(text("name2", {}));
    Text3[0]->setText(text("name3", {}));
    Text3[1]->setText(text("name4", QStringLiteral("0001")));
    Text2->setText(text("path", {}));
    Text4->setText(text("name5", {}));
    LastSourceDir = text("path2", m_programDir);
}

void Form1::SaveSettings()
{
    const QString path = settingsPath();
    ProfileDocument::LoadResult loaded;
    ProfileDocument settings = ProfileDocument::load(path, &loaded);
    if (loaded == ProfileDocument::LoadResult::Unreadable)
        return; // what it holds is unknown: never write over it
    auto put = [&](const char *key, const QString &value) {
        settings.writeString(kSection, key, ansi::encode(value));
    };
    auto putFlag = [&](const char *key, const QCheckBox *box) {
        put(key, box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    };
    auto selected = [](const auto &buttons) {
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]->isChecked())
                return QString::number(i);
        return QStringLiteral("0");
    };

    const Placement p = currentPlacement();
    put("x1", singleText(p.x1));
    put("y1", singleText(p.y1));
    put("x2", singleText(p.x2));
    put("y2", singleText(p.y2));
    putFlag("haiti", Check1[0]);
    putFlag("dos", Check1[1]);
    putFlag("sakujo", Check1[2]);
    putFlag("clear", Check1[3]);
    putFlag("nameop1", Check2[0]);
    putFlag("nameop2", Check2[1]);
    putFlag("nameop3", Check2[2]);
    put("path", Text2->text());
    put("path2", LastSourceDir);
    put("name", selected(Option1));
    put("name2", Text1->text());
    put("name3", Text3[0]->text());
    put("name4", Text3[1]->text());
    put("sentou", selected(Option2));
    put("name5", Text4->text());

    // A file that cannot be written is not reported; the program ends as usual.
    QDir().mkpath(QFileInfo(path).absolutePath());
    settings.save(path);
}
