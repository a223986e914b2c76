// Construction of the window's controls and menus at their design places.
#include "app/form1.h"
#include "app/markeddelegate.h"

#include "app/overlaplist.h"
#include "app/tabcontrol.h"
#include "app/twips.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include "join/resultlist.h"
#include "sources/sourcelist.h"
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

QFont japaneseFont(const QStringList &families, int points)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSize(points);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace

// The fixed-pitch Gothic face of the lists and the preview, with the faces
// that stand in for it where it is not installed.
QFont gothic12()
{
    // (Windows names a face in the user's language: IPAGothic is "IPAゴシック"
    // there, and draws no underscore at this size: a Windows without MS Gothic,
    // Wine among them, takes its Latin letters from a fixed-pitch face first.)
    return japaneseFont({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
#ifdef Q_OS_WIN
                         QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Consolas"),
#endif
                         QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
                         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")},
                        12);
}

namespace {

QFont windowFont()
{
    return japaneseFont({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                         QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif")},
                        9);
}

template <typename W>
W *make(QWidget *parent, const QString &name, const layout::TwipRect &rect)
{
    auto *widget = new W(parent);
    widget->setObjectName(name);
    twips::place(widget, rect);
    return widget;
}

template <typename W>
W *makeCaptioned(QWidget *parent, const QString &name, const QString &caption,
                 const layout::TwipRect &rect)
{
    W *widget = make<W>(parent, name, rect);
    widget->setText(caption);
    return widget;
}

} // namespace

QIcon programIcon()
{
    // The icon lives in a static library: its resources need registering.
    Q_INIT_RESOURCE(tapeknot);
    return QIcon(QStringLiteral(":/tapeknot.png"));
}

void Form1::setupControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TapeKnot"));
    setWindowIcon(programIcon());
    setFont(windowFont());

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->installEventFilter(this); // lays out the run page when the client area changes

    SSTab1 = new TabControl(2, client);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    twips::place(SSTab1, layout::design::kTab);

    setupRunPage(SSTab1->page(0));
    setupSettingsPage(SSTab1->page(1));
    twips::place(client, {0, 0, layout::design::kClientWidth, layout::design::kClientHeight});
}

void Form1::setupRunPage(QWidget *page)
{
    using namespace layout::design;
    List1 = make<QListView>(page, QStringLiteral("List1"), kList1);
    List1->setModel(m_sources);
    List2 = make<OverlappedList>(page, QStringLiteral("List2"), kList2);
    List2->setModel(m_results);
    List2->setItemDelegate(new MarkedRowDelegate(ResultList::WarningRole, false, List2));
    List2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->raise(); // the two lists overlap: the source list's last row stays in sight
    Text5 = make<QLineEdit>(page, QStringLiteral("Text5"), kText5);
    for (QWidget *w : {static_cast<QWidget *>(List1), static_cast<QWidget *>(List2),
                       static_cast<QWidget *>(Text5)})
        w->setFont(gothic12());
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The list can be put right: select, delete, drag into another order.
    List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List1->setDragEnabled(true);
    List1->setDragDropMode(QAbstractItemView::DragDrop);
    List1->setDefaultDropAction(Qt::MoveAction);
    List1->setContextMenuPolicy(Qt::CustomContextMenu);
    List2->setUniformItemSizes(true);

    Command2[2] = makeCaptioned<QPushButton>(page, QStringLiteral("Command2_2"),
                                             QStringLiteral("選\u3000択"), kSelect);
    Command2[0] = makeCaptioned<QPushButton>(page, QStringLiteral("Command2_0"),
                                             QStringLiteral("実\u3000行"), kRun);
    Command2[1] = makeCaptioned<QPushButton>(page, QStringLiteral("Command2_1"),
                                             QStringLiteral("リストクリア"), kClear);
    Command2[0]->setEnabled(false);

    Picture1 = make<QLabel>(page, QStringLiteral("Picture1"), {4680, 6000, 615, 375});
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setAutoFillBackground(true);
    Picture1->setFrameShape(QFrame::StyledPanel);
    Picture1->hide();
    // Under the text: how far the tool has got, and the way to stop it.
    JoinProgress = new QProgressBar(Picture1);
    JoinProgress->setObjectName(QStringLiteral("JoinProgress"));
    JoinProgress->setTextVisible(false);
    JoinCancel = new QPushButton(QStringLiteral("中止"), Picture1);
    JoinCancel->setObjectName(QStringLiteral("JoinCancel"));
    JoinCancel->setFont(gothic12());
}

void Form1::setupSettingsPage(QWidget *page)
{
    Label2 = makeCaptioned<QLabel>(page, QStringLiteral("Label2"),
                                   QStringLiteral("Rmeditorのある場所"), {240, 480, 2055, 255});
    Text2 = make<QLineEdit>(page, QStringLiteral("Text2"), {240, 720, 3255, 270});
    Command1 = makeCaptioned<QPushButton>(page, QStringLiteral("Command1"),
                                          QStringLiteral("参\u3000照"), {3600, 720, 975, 270});

    Check1[0] = makeCaptioned<QCheckBox>(page, QStringLiteral("Check1_0"),
                                         QStringLiteral("最前面に置く"), {240, 1080, 1335, 255});
    Check1[2] = makeCaptioned<QCheckBox>(page, QStringLiteral("Check1_2"),
                                         QStringLiteral("結合後にファイルを削除する"),
                                         {2040, 1080, 2535, 255});
    Check1[1] = makeCaptioned<QCheckBox>(page, QStringLiteral("Check1_1"),
                                         QStringLiteral("DOS窓を表示する"), {240, 1440, 1695, 255});
    Check1[3] = makeCaptioned<QCheckBox>(page, QStringLiteral("Check1_3"),
                                         QStringLiteral("結合後にリストを削除する"),
                                         {2040, 1440, 2535, 255});
    setupLocationFrame(page);
    setupNamingFrame(page);

    // Text boxes of one line height are tight at this font: no inner frame margin.
    for (QLineEdit *edit : {Text2, Text4, Text1, Text3[0], Text3[1]})
        edit->setTextMargins(0, 0, 0, 0);
}

// Where the joined file is made.
void Form1::setupLocationFrame(QWidget *page)
{
    Frame2 = make<QGroupBox>(page, QStringLiteral("Frame2"), {240, 1680, 4335, 1455});
    Option2[0] = makeCaptioned<QRadioButton>(Frame2, QStringLiteral("Option2_0"),
                                             QStringLiteral("先頭ファイルと同じ場所に作成する"),
                                             {120, 240, 3015, 375});
    Option2[1] = makeCaptioned<QRadioButton>(Frame2, QStringLiteral("Option2_1"),
                                             QStringLiteral("作成場所指定"), {120, 600, 2055, 375});
    Text4 = make<QLineEdit>(Frame2, QStringLiteral("Text4"), {240, 960, 3855, 270});
    m_option2Group = new QButtonGroup(this);
    m_option2Group->setObjectName(QStringLiteral("Option2"));
    for (int i = 0; i < 2; ++i)
        m_option2Group->addButton(Option2[size_t(i)], i);
}

// How the joined file is named.
void Form1::setupNamingFrame(QWidget *page)
{
    Frame1 = make<QGroupBox>(page, QStringLiteral("Frame1"), {240, 3120, 4335, 3615});
    Option1[0] = makeCaptioned<QRadioButton>(
        Frame1, QStringLiteral("Option1_0"),
        QStringLiteral("ファイル名の共通部分を新ファイル名とする"), {120, 240, 4095, 375});
    Check2[0] = makeCaptioned<QCheckBox>(Frame1, QStringLiteral("Check2_0"),
                                         QStringLiteral("末尾が数字の場合は数字だけ除く"),
                                         {360, 600, 3735, 255});
    Check2[2] = makeCaptioned<QCheckBox>(Frame1, QStringLiteral("Check2_2"),
                                         QStringLiteral("末尾が[-],[*],[_]の場合は除く"),
                                         {360, 960, 3735, 255});
    Check2[1] = makeCaptioned<QCheckBox>(Frame1, QStringLiteral("Check2_1"),
                                         QStringLiteral("新ファイル名が0文字の場合は連番名にする"),
                                         {360, 1320, 3735, 255});
    Option1[1] = makeCaptioned<QRadioButton>(Frame1, QStringLiteral("Option1_1"),
                                             QStringLiteral("ファイル名を指定する"),
                                             {120, 1560, 2175, 375});
    Text1 = make<QLineEdit>(Frame1, QStringLiteral("Text1"), {240, 2040, 3855, 270});
    Option1[2] = makeCaptioned<QRadioButton>(Frame1, QStringLiteral("Option1_2"),
                                             QStringLiteral("連番名で追加する"),
                                             {120, 2400, 2055, 375});
    Label1[0] = makeCaptioned<QLabel>(Frame1, QStringLiteral("Label1_0"),
                                      QStringLiteral("基本名"), {240, 2805, 615, 255});
    Text3[0] = make<QLineEdit>(Frame1, QStringLiteral("Text3_0"), {840, 2760, 3255, 270});
    Label1[1] = makeCaptioned<QLabel>(Frame1, QStringLiteral("Label1_1"),
                                      QStringLiteral("開始№"), {240, 3165, 615, 255});
    Text3[1] = make<QLineEdit>(Frame1, QStringLiteral("Text3_1"), {840, 3120, 1215, 270});

    // Each array of option buttons is one group; no button is selected at first.
    m_option1Group = new QButtonGroup(this);
    m_option1Group->setObjectName(QStringLiteral("Option1"));
    for (int i = 0; i < 3; ++i)
        m_option1Group->addButton(Option1[size_t(i)], i);
}

void Form1::setupMenus()
{
    QMenuBar *bar = menuBar();
    m_1 = bar->addMenu(QStringLiteral("ファイル(&F)"));
    m_1->setObjectName(QStringLiteral("m_1"));
    m_11 = m_1->addAction(QStringLiteral("選択(&O)"));
    m_12 = m_1->addAction(QStringLiteral("実行(&R)"));
    m_15 = m_1->addAction(QStringLiteral("リストクリア(&C)"));
    m_13 = m_1->addSeparator();
    m_14 = m_1->addAction(QStringLiteral("終了(&X)"));
    m_12->setEnabled(false);

    m_2 = bar->addMenu(QStringLiteral("オプション(&O)"));
    m_2->setObjectName(QStringLiteral("m_2"));
    m_21 = m_2->addAction(QStringLiteral("rmeditor設定(&S)"));

    m_3 = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    m_3->setObjectName(QStringLiteral("m_3"));
    m_31 = m_3->addAction(QStringLiteral("Readme(&R)"));
    m_32 = m_3->addSeparator();
    m_33 = m_3->addAction(QStringLiteral("バージョン情報"));

    const std::pair<QAction *, const char *> names[] = {
        {m_11, "m_11"}, {m_12, "m_12"}, {m_15, "m_15"}, {m_13, "m_13"}, {m_14, "m_14"},
        {m_21, "m_21"}, {m_31, "m_31"}, {m_32, "m_32"}, {m_33, "m_33"}};
    for (const auto &[action, name] : names)
        action->setObjectName(QLatin1String(name));
}
