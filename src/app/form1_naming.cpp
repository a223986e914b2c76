// The naming and location options and the output-path preview.
#include "app/form1.h"

#include "naming/commonname.h"

#include <QCheckBox>
#include <QLineEdit>
#include "sources/sourcelist.h"
#include <QRadioButton>

QStringList Form1::sourceEntries() const
{
    return m_sources->entries();
}

NamingOptions Form1::namingOptions() const
{
    NamingOptions options;
    if (Option1[0]->isChecked())
        options.mode = NamingOptions::Mode::CommonPart;
    else if (Option1[1]->isChecked())
        options.mode = NamingOptions::Mode::SpecifiedName;
    else
        options.mode = NamingOptions::Mode::Sequential;
    // Only the common part looks past the head entry.
    if (options.mode == NamingOptions::Mode::CommonPart)
        options.sources = sourceEntries();
    else if (m_sources->count() > 0)
        options.sources = QStringList{m_sources->entry(0)};
    options.besideHead = Option2[0]->isChecked();
    options.folder = Text4->text();
    options.stripDigits = Check2[0]->isChecked();
    options.sequentialWhenEmpty = Check2[1]->isChecked();
    options.stripSymbols = Check2[2]->isChecked();
    options.specifiedName = Text1->text();
    options.baseName = Text3[0]->text();
    options.startNumber = Text3[1]->text();
    return options;
}

QString Form1::CommonName() const
{
    return ::CommonName(sourceEntries(), Check2[0]->isChecked(), Check2[2]->isChecked());
}

QString Form1::OutputPath() const
{
    return ::OutputPath(namingOptions());
}

void Form1::RefreshPreview()
{
    if (m_sources->count() > 0)
        Text5->setText(OutputPath());
}

void Form1::Option1_Click(int)
{
    RefreshPreview();
}

void Form1::Option2_Click(int)
{
    RefreshPreview();
}

void Form1::Check2_Click(int)
{
    RefreshPreview();
}
