#include "platform/consolewindow.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

ConsoleWindow::ConsoleWindow(QWidget *parent, const QString &title) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConsoleWindow"));
    setWindowTitle(title);
    setModal(false);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setMaximumBlockCount(5000);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    resize(640, 320);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(100);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { flush(); });
}

void ConsoleWindow::append(const QByteArray &bytes)
{
    m_pending += bytes;
    if (m_pending.size() > kKeptPiece)
        m_pending.remove(0, m_pending.size() - kKeptPiece);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ConsoleWindow::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QString text = m_decoder.decode(m_pending);
    m_pending.clear();
    QString broken;
    broken.reserve(text.size() + text.size() / kLongestLine + 1);
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            m_lineLength = 0;
        } else if (++m_lineLength > kLongestLine) {
            broken += QLatin1Char('\n');
            m_lineLength = 1;
        }
        broken += c;
    }
    m_text->moveCursor(QTextCursor::End);
    m_text->insertPlainText(broken);
    m_text->moveCursor(QTextCursor::End);
}
