#include "app/form1.h"

#include "join/joinjob.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include "app/overlaplist.h"

#include <QWindow>

#include "app/filedrop.h"
#include "app/tabcontrol.h"
#include "app/twips.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QDropEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSessionManager>
#include <QTabBar>
#include <QThread>

namespace {

// Only files named like the tool are listed when locating it.
#ifdef Q_OS_WIN
const QString kToolFilter = QStringLiteral("rmeditor.exe|rmeditor.exe");
#else
const QString kToolFilter = QStringLiteral("rmeditor|rmeditor");
#endif

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

Form1::Form1(Platform &platform, const QString &programDir, QWidget *parent)
    : QMainWindow(parent), CD1(platform, this), m_sources(new SourceList(this)), m_results(new ResultList(this)),
      m_platform(platform), m_programDir(programDir)
{
    setupControls();
    setupMenus();
    setupDropTargets();
    setupConnections();
    setupClipFacts();
}

Form1::~Form1() = default;

void Form1::setupDropTargets()
{
    auto *drops = new FileDropFilter([this](const QMimeData *mime) { AddDroppedFiles(mime); }, this);
    for (QWidget *target : {static_cast<QWidget *>(this), centralWidget(),
                            static_cast<QWidget *>(List1), static_cast<QWidget *>(List2),
                            static_cast<QWidget *>(SSTab1), static_cast<QWidget *>(SSTab1->tabBar()),
                            SSTab1->page(0), SSTab1->page(1)})
        drops->install(target);
    for (QPushButton *button : Command2)
        drops->install(button);
    // Files dropped on a settings box join the list; they never become its text.
    for (QLineEdit *box : {Text1, Text2, Text3[0], Text3[1], Text4})
        drops->install(box);
    drops->install(Text5, FileDropFilter::OtherDrags::Refuse); // the preview takes no text at all
}

void Form1::setupConnections()
{
    for (int i = 0; i < 3; ++i)
        connect(Command2[size_t(i)], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);

    // The keep-on-top box reacts to every change of its value, also the
    // one start-up makes from the settings file.
    connect(Check1[0], &QCheckBox::toggled, this, [this] { Check1_Click(0); });
    for (int i = 1; i < 4; ++i)
        connect(Check1[size_t(i)], &QCheckBox::clicked, this, [this, i] { Check1_Click(i); });
    for (int i = 0; i < 3; ++i)
        connect(Check2[size_t(i)], &QCheckBox::clicked, this, [this, i] { Check2_Click(i); });
    connect(m_option1Group, &QButtonGroup::idClicked, this, &Form1::Option1_Click);
    connect(m_option2Group, &QButtonGroup::idClicked, this, &Form1::Option2_Click);

    for (QLineEdit *edit : {Text1, Text3[0], Text3[1], Text4})
        edit->installEventFilter(this);
    List1->installEventFilter(this);           // Delete removes the selected entries
    List1->viewport()->installEventFilter(this); // a drag within the list moves them
    connect(List1, &QWidget::customContextMenuRequested, this, &Form1::showSourceMenu);

    connect(m_11, &QAction::triggered, this, [this] { Command2_Click(2); });
    connect(m_12, &QAction::triggered, this, [this] { Command2_Click(0); });
    connect(m_15, &QAction::triggered, this, [this] { Command2_Click(1); });
    connect(m_14, &QAction::triggered, this, &QWidget::close);
    connect(m_21, &QAction::triggered, this, &Form1::Command1_Click);
    connect(m_31, &QAction::triggered, this, &Form1::ShowReadme);
    connect(m_33, &QAction::triggered, this, &Form1::ShowAbout);

    // A result line: double-click or Enter shows what the tool said, or opens the folder.
    connect(List2, &QListView::activated, this, &Form1::resultActivated);
    connect(JoinCancel, &QPushButton::clicked, this, &Form1::cancelJoin);

    // The end of the desktop session is one more close request.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (joinBusy()) {
            manager.cancel();
            return;
        }
        SaveSettings(); // and again at the close: the log-off may yet be cancelled
    });
}

void Form1::Command2_Click(int index)
{
    switch (index) {
    case 0:
        RunCommand();
        break;
    case 1:
        ClearList();
        break;
    case 2:
        SelectSources();
        break;
    default:
        break;
    }
}

void Form1::ClearList()
{
    m_sources->clear();
    updateRunCommand();
}

void Form1::updateRunCommand()
{
    const bool runnable = !joinBusy() && m_sources->count() > 0;
    Command2[0]->setEnabled(runnable);
    m_12->setEnabled(runnable);
}

void Form1::RunCommand()
{
    Command2[0]->setEnabled(false);
    Command2[1]->setEnabled(false);
    m_1->menuAction()->setEnabled(false);
    m_2->menuAction()->setEnabled(false);

    RunJoin();
    if (!joinBusy())
        endRun(); // stopped before the tool ran; otherwise the join's end does this
}

void Form1::endRun()
{
    Command2[1]->setEnabled(true);
    m_1->menuAction()->setEnabled(true);
    m_2->menuAction()->setEnabled(true);
    updateRunCommand();
}

void Form1::Command1_Click()
{
    CD1.properties.fileName = Text2->text();
    if (CD1.properties.fileName.isEmpty()) // the joiner shipped beside the program, one Enter away
        CD1.properties.fileName = bundledJoiner();
    CD1.properties.filter = kToolFilter;
    // One file is chosen here, whatever the source dialog left in the flags.
    CD1.properties.flags = dialogflags::kExplorer;
    if (CD1.ShowOpen() != DialogOutcome::Chosen)
        return;
    const QString chosen = CD1.properties.fileName;
    if (!chosen.isEmpty() && !chosen.contains(QChar(0)))
        Text2->setText(chosen);
}

void Form1::Check1_Click(int index)
{
    if (index == 0)
        applyKeepOnTop(Check1[0]->isChecked());
    // The other boxes are read when a join runs.
}

void Form1::applyKeepOnTop(bool onTop)
{
    const Qt::WindowFlags flags = onTop ? windowFlags() | Qt::WindowStaysOnTopHint
                                        : windowFlags() & ~Qt::WindowStaysOnTopHint;
    if (flags == windowFlags())
        return;
    if (QWindow *window = windowHandle()) {
        // Change the stacking of the window as it is (on X11 the window
        // manager's "above" state): re-creating it would lose its maximised
        // state and the normal placement behind it.
        overrideWindowFlags(flags);
        window->setFlags(flags);
        return;
    }
    setWindowFlags(flags); // not created yet: taken up at the first show
}

void Form1::closeEvent(QCloseEvent *event)
{
    // While a join runs the close is refused without a word.
    if (joinBusy()) {
        event->ignore();
        return;
    }
    SaveSettings();
    event->accept();
    // Every window goes with the main one, an open About box included.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

bool Form1::acceptsStartNumberKey(const QString &text) const
{
    // Control characters (Backspace, Delete's U+007F…) edit; of the rest only digits pass.
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 32 || c.unicode() == 0x7f || isAsciiDigit(c); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        ApplyLayout();
        return false;
    }
    if (watched == List1 && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        RemoveSelectedSources();
        return true;
    }
    if (List1 && watched == List1->viewport() && event->type() == QEvent::Drop
        && dropWithinSourceList(static_cast<QDropEvent *>(event)))
        return true;
    if (watched == Text3[1]) {
        if (event->type() == QEvent::KeyPress
            && !acceptsStartNumberKey(static_cast<QKeyEvent *>(event)->text()))
            return true;
        if (event->type() == QEvent::InputMethod) {
            // Characters from an input method are dropped unless they are plain digits.
            auto *input = static_cast<QInputMethodEvent *>(event);
            const QString commit = input->commitString();
            if (!std::all_of(commit.begin(), commit.end(), isAsciiDigit))
                input->setCommitString(QString());
        }
    }
    if (event->type() == QEvent::FocusOut) {
        // Only leaving the box for another control counts, not a menu or
        // another window taking the focus for a while.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        const bool left = reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason
                          && reason != Qt::MenuBarFocusReason;
        const bool refresh = left
                             && ((watched == Text1 && Option1[1]->isChecked())
                                 || ((watched == Text3[0] || watched == Text3[1]) && Option1[2]->isChecked())
                                 || (watched == Text4 && Option2[1]->isChecked()));
        if (refresh)
            RefreshPreview();
    }
    return QMainWindow::eventFilter(watched, event);
}
