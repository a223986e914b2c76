#pragma once
#include "app/form1.h"
#include "support/fakeplatform.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

// A main window over the fake platform, with its program folder (and so its
// tapeknot.ini) in a temporary folder of its own.
struct Harness {
    Harness();
    ~Harness();
    QTemporaryDir programDir;
    QTemporaryDir configHome; // the user's configuration folder, kept out of the real one
    FakePlatform platform;
    std::unique_ptr<Form1> form;

    QString dir() const { return programDir.path(); }
    QString iniPath() const { return programDir.filePath(QStringLiteral("tapeknot.ini")); }
    void writeIni(const QByteArray &content);
    QByteArray readIni() const;

    // Creates the window and runs its start-up. Without a stored tool
    // location the start-up asks for one; that dialog is cancelled unless
    // an answer was queued.
    Form1 &start();
    // A started window with a tool location stored, on the run page.
    Form1 &startWithTool(const QString &toolPath = QStringLiteral("/opt/rm/rmeditor"));

    // Writes a file of `content` under the temporary folder and returns its path.
    QString makeFile(const QString &relative, const QByteArray &content = "x");
};

// A path of the build machine as the program names it: on Windows (under
// Wine) the build's Linux paths lie on drive Z:.
inline QString hostPath(QString path)
{
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1Char('/')))
        path = QStringLiteral("Z:") + path;
    path = QDir::toNativeSeparators(path);
#endif
    return path;
}

#ifdef STANDIN_TOOL
inline QString standinTool()
{
    return hostPath(QStringLiteral(STANDIN_TOOL));
}
#endif

// A drop's data with local files as URLs.
std::unique_ptr<QMimeData> fileDrop(const QStringList &paths);

// Sends a real drag-enter, drag-move and drop with `data` to `target`.
// Returns whether the drop was accepted.
bool dropOn(QWidget *target, const QMimeData *data);

// The first of the container's shown controls that runs off it or covers
// another (by more than the pixel twips may round to), by name; empty when
// all lie well. `together` names pairs that are meant to overlap.
QString misplacedControl(const QWidget *container,
                         const std::function<bool(const QWidget *, const QWidget *)> &together = {});

class OverlappedList;
class QListView;
class QProgressBar;
class ResultList;
class SourceList;
class TabControl;

// A control of the window by the name it carries; a missing one ends the test program.
QObject *namedChild(QObject &window, const char *name);
template <typename T>
T *control(QObject &window, const char *name)
{
    T *found = dynamic_cast<T *>(namedChild(window, name));
    if (!found)
        qFatal("the window's control %s is of another type", name);
    return found;
}

// The controls of the window the tests use, found by name as a person
// finds them by caption, and the two lists behind its views.
struct Form1View {
    explicit Form1View(Form1 &f);
    TabControl *SSTab1;
    QListView *List1;
    OverlappedList *List2;
    QLineEdit *Text5;
    std::array<QPushButton *, 3> Command2;
    QLabel *Picture1;
    QProgressBar *JoinProgress;
    QPushButton *JoinCancel;
    QLineEdit *Text2;
    QPushButton *Command1;
    std::array<QCheckBox *, 4> Check1;
    QGroupBox *Frame2;
    std::array<QRadioButton *, 2> Option2;
    QLineEdit *Text4;
    QGroupBox *Frame1;
    std::array<QRadioButton *, 3> Option1;
    std::array<QCheckBox *, 3> Check2;
    QLineEdit *Text1;
    std::array<QLabel *, 2> Label1;
    std::array<QLineEdit *, 2> Text3;
    QMenu *m_1, *m_2, *m_3;
    QAction *m_11, *m_12, *m_15, *m_14, *m_21, *m_31, *m_33;
    SourceList *sources;
    ResultList *results;

    // Rows of the views as the user sees them.
    QString sourceTip(int row) const;
    QString resultText(int row) const;
    QString resultTip(int row) const;
    void activateResult(int row) const; // a double-click or Enter on the line
};
inline Form1View ui(Form1 &f)
{
    return Form1View(f);
}

// A path written the Linux way, with the separators of this system.
inline QString nat(QString path)
{
    return QDir::toNativeSeparators(path);
}
