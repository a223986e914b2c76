#pragma once
#include "platform/platform.h"

// The one common dialog control of the main window: open and save dialogs
// that share their properties from one use to the next.
class CommonDialog
{
public:
    CommonDialog(Platform &platform, QWidget *owner) : m_platform(platform), m_owner(owner) {}

    CommonDialogState properties;

    DialogOutcome ShowOpen() { return m_platform.showOpen(m_owner, properties); }
    DialogOutcome ShowSave() { return m_platform.showSave(m_owner, properties); }

private:
    Platform &m_platform;
    QWidget *m_owner;
};

// "desc|pat;pat|desc|pat" as the name filters of a file dialog.
QStringList dialogNameFilters(const QString &filter);
