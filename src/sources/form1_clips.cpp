// What each listed clip is, read from its header while the window goes on:
// its tooltip, a mark on a clip the bundled joiner would refuse after the
// first one, and the listed clips' total length on the run button.
#include "app/form1.h"

#include "sources/clipfacts.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QBrush>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace {
constexpr int kClipRole = Qt::UserRole + 5; // a source row: its ClipFacts, once known
}

void Form1::setupClipFacts()
{
    m_clipReader = new ClipReader(this);
    m_clipRefresh = new QTimer(this);
    m_clipRefresh->setSingleShot(true);
    m_clipRefresh->setInterval(0); // once per round of edits
    QAbstractItemModel *rows = List1->model();
    for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(rows, change, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(rows, &QAbstractItemModel::rowsMoved, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(rows, &QAbstractItemModel::modelReset, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(rows, &QAbstractItemModel::layoutChanged, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(m_clipRefresh, &QTimer::timeout, this, [this] { m_clipReader->request(sourceEntries()); });
    // Back in the window: files changed meanwhile (re-encoded, replaced) are read again.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && List1->count() > 0)
            m_clipRefresh->start();
    });
    connect(m_clipReader, &ClipReader::known, this, &Form1::clipsKnown);
}

void Form1::clipsKnown(int firstRow, const QList<ClipFacts> &facts)
{
    for (qsizetype k = 0; k < facts.size(); ++k) {
        QListWidgetItem *item = List1->item(firstRow + int(k));
        if (item && item->text() == facts[k].path)
            item->setData(kClipRole, QVariant::fromValue(facts[k]));
    }
    // The first clip decides for every other row.
    markClips(firstRow == 0 ? 0 : firstRow, firstRow == 0 ? List1->count() : firstRow + int(facts.size()));
    showTotalLength();
}

void Form1::markClips(int from, int to)
{
    QListWidgetItem *head = List1->item(0);
    const QVariant first = head ? head->data(kClipRole) : QVariant();
    const QIcon refused = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int row = from; row < to && row < List1->count(); ++row) {
        QListWidgetItem *item = List1->item(row);
        const QVariant known = item->data(kClipRole);
        if (!known.isValid())
            continue;
        const ClipFacts facts = known.value<ClipFacts>();
        const QString obstacle = row > 0 && first.isValid() ? joinObstacle(first.value<ClipFacts>(), facts) : QString();
        item->setToolTip(obstacle.isEmpty() ? facts.description : obstacle + QLatin1Char('\n') + facts.description);
        // A sign and a colour, so that the mark does not rest on colour alone.
        item->setIcon(obstacle.isEmpty() ? QIcon() : refused);
        item->setData(Qt::ForegroundRole, obstacle.isEmpty() ? QVariant() : QVariant(QBrush(Qt::darkRed)));
    }
}

void Form1::showTotalLength()
{
    qint64 total = 0;
    int known = 0, unknownLength = 0;
    for (int row = 0; row < List1->count(); ++row) {
        const QVariant facts = List1->item(row)->data(kClipRole);
        if (!facts.isValid())
            continue;
        ++known;
        const qint64 length = facts.value<ClipFacts>().durationMs;
        length >= 0 ? total += length : ++unknownLength;
    }
    if (List1->count() == 0) {
        Command2[0]->setToolTip(QString());
        return;
    }
    QString tip = QStringLiteral("合計の長さ ") + lengthText(total);
    if (known < List1->count())
        tip += QStringLiteral("（%1 個中 %2 個を読み取り済み）").arg(List1->count()).arg(known);
    else
        tip += QStringLiteral("（%1 個のクリップ）").arg(known);
    if (unknownLength > 0)
        tip += QStringLiteral("\n長さの分からないクリップ %1 個を除く").arg(unknownLength);
    Command2[0]->setToolTip(tip);
}
