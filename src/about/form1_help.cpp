// The Help menu: the Readme beside the program and the About box.
#include "app/form1.h"

#include "about/frmabout.h"

#include <QDir>

void Form1::ShowReadme()
{
    // A missing Readme, or no viewer for it, shows nothing.
    m_platform.openDocument(this, m_programDir + QDir::separator() + QStringLiteral("Readme.txt"),
                            m_programDir);
}

void Form1::ShowAbout()
{
    frmAbout box(m_platform, windowIcon());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
