#pragma once
#include "platform/platform.h"

#include <QDialog>
#include <array>

class QFrame;
class QLabel;
class QPushButton;

// Reads one value under HKEY_LOCAL_MACHINE into `keyVal`. False, with an
// empty `keyVal`, when the key cannot be opened or the value read.
bool GetKeyValue(Platform &platform, const QString &keyName, const QString &subKeyRef, QString &keyVal);

// The About box, built anew for every showing.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    frmAbout(Platform &platform, const QIcon &icon, QWidget *parent = nullptr);

    // Starts the system information tool, or says it cannot be used.
    void StartSysInfo();

    QLabel *picIcon;         // the program's icon
    QLabel *lblTitle;        // the program's title
    QLabel *lblVersion;      // "ﾊﾞｰｼﾞｮﾝ 1.0.1"
    QLabel *lblDescription;  // the comments of the version information (none)
    QLabel *lblDisclaimer;   // the fixed disclaimer
    QPushButton *cmdOK;      // closes the box; answers Enter and Esc
    QPushButton *cmdSysInfo; // system information
    std::array<QFrame *, 2> Line1; // separator lines

private:
    Platform &m_platform;
};
