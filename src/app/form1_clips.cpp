// What each listed clip is, read from its header while the window goes on:
// its tooltip, a mark on a clip the bundled joiner would refuse after the
// first one, and the listed clips' total length on the run button.
#include "app/form1.h"

#include "app/markeddelegate.h"
#include "sources/clipfacts.h"
#include "sources/sourcelist.h"

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QTimer>

void Form1::setupClipFacts()
{
    List1->setItemDelegate(new MarkedRowDelegate(SourceList::RefusedRole, true, List1));
    m_clipReader = new ClipReader(this);
    m_clipRefresh = new QTimer(this);
    m_clipRefresh->setSingleShot(true);
    m_clipRefresh->setInterval(0); // once per round of edits
    for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_sources, change, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(m_sources, &QAbstractItemModel::rowsMoved, m_clipRefresh, qOverload<>(&QTimer::start));
    connect(m_sources, &QAbstractItemModel::modelReset, m_clipRefresh, qOverload<>(&QTimer::start));
    // Removals and new orders, from the menu, a key or a drag within the list.
    connect(m_sources, &QAbstractItemModel::rowsRemoved, this, &Form1::sourcesChanged);
    connect(m_sources, &QAbstractItemModel::rowsMoved, this, &Form1::sourcesChanged);
    connect(m_sources, &QAbstractItemModel::modelReset, this, &Form1::sourcesChanged);
    connect(m_clipRefresh, &QTimer::timeout, this, [this] { m_clipReader->request(m_sources->entries()); });
    // Back in the window: files changed meanwhile (re-encoded, replaced) are read again.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && m_sources->count() > 0)
            m_clipRefresh->start();
    });
    connect(m_clipReader, &ClipReader::known, m_sources, &SourceList::setFacts);
    connect(m_sources, &SourceList::factsChanged, this, [this] { Command2[0]->setToolTip(m_sources->totalLength()); });
}
