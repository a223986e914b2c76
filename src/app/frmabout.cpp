#include "app/frmabout.h"

#include "about/regvalue.h"
#include "app/twips.h"
#include "platform/fileexists.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kMajor = 1;
constexpr int kMinor = 0;
constexpr int kRevision = 1;

const QString kInfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kInfoValue = QStringLiteral("PATH");
const QString kInfoLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kInfoLocationValue = QStringLiteral("MSINFO");

} // namespace

bool GetKeyValue(Platform &platform, const QString &keyName, const QString &subKeyRef, QString &keyVal)
{
    constexpr int kBufferSize = 1024;
    int type = 0;
    int byteCount = 0;
    QByteArray buffer;
    if (!platform.readRegistryValue(keyName, subKeyRef, kBufferSize, type, buffer, byteCount)
        || !decodeRegistryValue(buffer, byteCount, type, keyVal)) {
        keyVal.clear();
        return false;
    }
    return true;
}

frmAbout::frmAbout(Platform &platform, const QIcon &icon, QWidget *parent)
    : QDialog(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(kProgramTitle + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    setWindowIcon(icon);
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto label = [this](const char *name, const layout::TwipRect &rect) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        twips::place(l, rect);
        return l;
    };
    picIcon = label("picIcon", {240, 240, 540, 540});
    picIcon->setPixmap(icon.pixmap(twips::toPixels(480, this)));
    lblTitle = label("lblTitle", {1050, 240, 3885, 480});
    lblTitle->setText(kProgramTitle);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblVersion = label("lblVersion", {1050, 780, 3885, 225});
    lblVersion->setText(QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision));
    lblDescription = label("lblDescription", {1050, 1125, 3885, 1170});
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDisclaimer = label("lblDisclaimer", {255, 2625, 3870, 825});
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDisclaimer->setText(
        QStringLiteral("この製品はそこそこ使えるフリーソフトです。適当にそこそこ使ってください。"));

    for (int i = 0; i < 2; ++i) {
        Line1[size_t(i)] = new QFrame(this);
        Line1[size_t(i)]->setObjectName(QStringLiteral("Line1_%1").arg(i));
        Line1[size_t(i)]->setFrameShape(QFrame::HLine);
        Line1[size_t(i)]->setFrameShadow(i == 0 ? QFrame::Sunken : QFrame::Plain);
        twips::place(Line1[size_t(i)], {90, 2430 + 15.0 * i, 5310, 30});
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    twips::place(cmdOK, {4245, 2625, 1260, 345});
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    twips::place(cmdSysInfo, {4260, 3075, 1245, 345});

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    setFixedSize(twips::toPixels(5730, this), twips::toPixels(3750, this));
    cmdOK->setFocus();
}

void frmAbout::StartSysInfo()
{
    QString path;
    bool found = GetKeyValue(m_platform, kInfoKey, kInfoValue, path);
    if (!found && GetKeyValue(m_platform, kInfoLocationKey, kInfoLocationValue, path)) {
        const QString candidate = path + QStringLiteral("\\MSINFO32.EXE");
        if (FileExists(candidate)) {
            path = candidate;
            found = true;
        }
    }
    if (found && m_platform.startProgram(path))
        return;
    m_platform.messageBox(this, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
}
