#pragma once
#include "app/inputblocker.h"

#include <QPointer>
#include <memory>
#include "app/layout.h"
#include "naming/outputpath.h"
#include "platform/commondialog.h"
#include "platform/platform.h"
#include "settings/settingkeys.h"

#include <QMainWindow>
#include <array>
#include <optional>

class QAction;
class QButtonGroup;
class QIcon;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class OverlappedList;
class QMenu;
class QMimeData;
class QPushButton;
class QRadioButton;
class QProgressBar;
class QFont;
class QDropEvent;
class QModelIndex;
class JoinJob;
struct JoinRequest;
class ConsoleWindow;
class ClipReader;
class QTimer;
class QTranslator;
class TabControl;
class SourceList;
class ResultList;
struct Form1View;

// The program's icon: window, About box and desktop entry.
QIcon programIcon();
// The fixed-pitch Japanese face of the lists, the preview and the Readme window.
QFont gothic12();
// Loads Qt's own Japanese texts (file dialogs, message boxes) into `texts`
// and puts them to use, where they can be found.
void installQtTexts(QTranslator &texts);

// The one main window, the face of the source list, the result list and the
// join: its controls hold every option; each operation reads them when it
// runs and hands plain values to those objects and the rules.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    // `programDir`: the folder of the program, where tapeknot.ini and
    // Readme.txt live, as the platform reports it.
    Form1(Platform &platform, const QString &programDir, QWidget *parent = nullptr);
    ~Form1() override;

    // Reads the settings, places and shows the window, picks the first page
    // and, without a tool location, asks for one.
    void StartUp();
    // Paths given on the command line join the list as a drop would add them.
    void AddCommandLineFiles(const QStringList &arguments);
    // Appends clips as the open dialog and a drop hand them over.
    void AddSources(const QStringList &paths);
    bool joinBusy() const; // a join runs, or is being cancelled

    // Source list limit: counts and positions are 16-bit.
    static constexpr int kMaxSources = 32767;

signals:
    // A join's tool is about to be started (for those who watch the window).
    void joinStarted(JoinJob *job);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Placement : settingkeys::Placement {
        bool withoutFrame = false; // the design height, still without title bar and frame
    };
    // The settings file is read once: the placement first, then the rest.
    settingkeys::Values settingFallbacks();
    Placement LoadPlacement(const settingkeys::Values &values, const settingkeys::Values &fallbacks);
    void LoadSettings(const settingkeys::Values &values);
    void SaveSettings();
    QString settingsPath() const;
    QString settingsSource() const;
    bool installedCopy() const;

    void SelectSources();
    void AddDroppedFiles(const QMimeData *mime);
    void RemoveSelectedSources();

    QStringList sourceEntries() const; // the source list's entries in order
    NamingOptions namingOptions() const;
    QString CommonName() const;
    QString OutputPath() const;
    void RefreshPreview();

    void RunJoin();
    void cancelJoin(); // the cancel button and Esc while a join runs

    // Event handlers of the control arrays, with the index as argument.
    void Command2_Click(int index);
    void Command1_Click();
    void Check1_Click(int index);
    void Option1_Click(int index);
    void Option2_Click(int index);
    void Check2_Click(int index);
    void ShowReadme();
    // Paths of files that ship with the program, found from its own folder
    // (beside it, or where an installation puts them).
    QString readmePath() const;
    QString bundledJoiner() const; // empty when there is none
    void ShowAbout();
    void ApplyLayout();

    // --- controls of the run page ---
    TabControl *SSTab1;               // the two-page tab control
    QListView *List1 = nullptr;       // the source list's view
    OverlappedList *List2;            // the result list's view
    QLineEdit *Text5;                 // output-path preview
    std::array<QPushButton *, 3> Command2; // 0 run, 1 clear list, 2 select
    QLabel *Picture1;                 // status panel while the tool runs
    QProgressBar *JoinProgress;       // in the status panel: the tool's progress, or busy
    QPushButton *JoinCancel;          // in the status panel: ends the tool

    // --- controls of the settings page ---
    QLabel *Label2;                   // caption of Text2
    QLineEdit *Text2;                 // full path of rmeditor
    QPushButton *Command1;            // browse for rmeditor
    std::array<QCheckBox *, 4> Check1; // 0 keep on top, 1 show console, 2 delete sources, 3 clear list
    QGroupBox *Frame2;                // output location
    std::array<QRadioButton *, 2> Option2; // 0 beside the head file, 1 specified location
    QLineEdit *Text4;                 // specified output location
    QGroupBox *Frame1;                // output naming
    std::array<QRadioButton *, 3> Option1; // 0 common part, 1 specified name, 2 sequential name
    std::array<QCheckBox *, 3> Check2; // 0 strip digits, 1 sequential when empty, 2 strip symbols
    QLineEdit *Text1;                 // specified file name
    std::array<QLabel *, 2> Label1;   // captions of Text3(0) and Text3(1)
    std::array<QLineEdit *, 2> Text3; // 0 base name, 1 start number of sequential names
    CommonDialog CD1;                 // the open and save dialogs, properties kept between uses

    // --- menus ---
    QMenu *m_1;      // File; disabled exactly while a join runs
    QAction *m_11;   // select
    QAction *m_12;   // run
    QAction *m_15;   // clear list
    QAction *m_13;   // separator
    QAction *m_14;   // exit
    QMenu *m_2;      // Options
    QAction *m_21;   // rmeditor setting
    QMenu *m_3;      // Help
    QAction *m_31;   // Readme
    QAction *m_32;   // separator
    QAction *m_33;   // version information

    void setupControls();
    void setupRunPage(QWidget *page);
    void setupSettingsPage(QWidget *page);
    void setupLocationFrame(QWidget *page);
    void setupNamingFrame(QWidget *page);
    void setupMenus();
    void setupDropTargets();
    void setupConnections();

    void ClearList();
    void RunCommand();
    void applyKeepOnTop(bool onTop);
    void finishAddition();
    void applyPlacement(const Placement &placement);
    void settleFrame();
    Placement currentPlacement() const;
    QSize frameExtra() const;
    bool acceptsStartNumberKey(const QString &text) const;
    void reportUndeleted(const QStringList &paths);
    void updateRunCommand();   // the run command: enabled with entries, when no join runs
    void endRun();
    std::optional<QString> settleOutput();
    std::optional<QString> askForFreeName(QString output);
    std::optional<JoinRequest> composeRequest(const QString &output);
    void startJob(const JoinRequest &request);
    void showStatusPanel();
    void jobStateChanged();
    void jobStartFailed();
    void finishJoin();
    void placeStatusPanel();
    void sourcesChanged();
    void showSourceMenu(const QPoint &at);
    bool dropWithinSourceList(QDropEvent *drop);
    QList<int> selectedSourceRows() const;
    void resultActivated(const QModelIndex &index);
    void lockControls(bool locked);
    void setupClipFacts();
    QList<std::pair<QByteArray, QObject *>> settingControls() const;
    double designOuterHeight() const;

    SourceList *m_sources;  // the clips to join
    ResultList *m_results;  // one line per join
    std::unique_ptr<JoinJob> m_job;
    std::unique_ptr<InputBlocker> m_blocker;
    QPointer<ConsoleWindow> m_console;
    QList<QPointer<QWidget>> m_lockedControls; // disabled for the time of a join
    ClipReader *m_clipReader = nullptr; // what each listed clip is, read off this thread
    QTimer *m_clipRefresh = nullptr;    // asks it again once the list has changed

    Platform &m_platform;
    QString m_programDir;
    QButtonGroup *m_option1Group;
    QButtonGroup *m_option2Group;
    bool m_placementPending = false;
    Placement m_pendingPlacement;
    QSize m_normalFrameExtra;    // frame size of the normal (not maximised) window
    QPoint m_normalFrameOffset;  // client origin inside that frame
};
