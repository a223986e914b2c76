// From the start of the program to the first user input.
#include "app/form1.h"

#include "app/tabcontrol.h"
#include "platform/profile.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QTranslator>

void Form1::StartUp()
{
    const settingkeys::Values fallbacks = settingFallbacks();
    const settingkeys::Values settings = settingkeys::read(ProfileDocument::load(settingsSource()), fallbacks);
    const Placement placement = LoadPlacement(settings, fallbacks);
    SSTab1->setTabCaption(0, QStringLiteral("実行"));
    SSTab1->setTabCaption(1, QStringLiteral("設定"));
    LoadSettings(settings); // keep-on-top takes effect here, before the first show
    applyPlacement(placement);
    show();

    if (!Text2->text().isEmpty()) {
        SSTab1->setCurrentIndex(0);
        List1->setFocus();
        return;
    }
    SSTab1->setCurrentIndex(1);
    Text2->setFocus();
    m_platform.messageBox(this, QStringLiteral("rmeditorの場所を指定してください"));
    Command1_Click();
}

// The file dialogs and message boxes speak Japanese like the rest of the window.
// (A Windows copy carries Qt's texts in its own folder.)
void installQtTexts(QTranslator &texts)
{
    if (texts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || texts.load(QStringLiteral("qtbase_ja"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        QCoreApplication::installTranslator(&texts);
}
