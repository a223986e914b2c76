#pragma once
#include <QByteArray>
#include <QDialog>
#include <QStringDecoder>
#include <QTimer>

class QPlainTextEdit;

// Shows what the tool writes to its console while it runs. Output arrives
// in pieces of any size, lines of any length: it is shown ten times a
// second at most, only its last part when much arrived meanwhile, and a
// very long line is broken, so the window never holds more than a few
// thousand short lines, whatever the tool prints.
class ConsoleWindow : public QDialog
{
public:
    ConsoleWindow(QWidget *parent, const QString &title);
    void append(const QByteArray &bytes);
    void flush();

private:
    static constexpr qsizetype kKeptPiece = 256 * 1024;
    static constexpr qsizetype kLongestLine = 4096;
    QPlainTextEdit *m_text;
    QStringDecoder m_decoder{QStringDecoder::System}; // keeps a character split between pieces
    qsizetype m_lineLength = 0;
    QByteArray m_pending; // arrived, not yet shown
    QTimer m_flushTimer;
};
