#include "join/commandline.h"

#include <QDir>

QStringList joinArguments(const QStringList &sources, const QString &output)
{
    QStringList arguments;
    arguments.reserve(sources.size() * 2 + 2);
    for (const QString &source : sources)
        arguments << QStringLiteral("-i") << source;
    arguments << QStringLiteral("-o") << output;
    return arguments;
}

QString joinArgumentText(const QStringList &sources, const QString &output)
{
    QString text;
    qsizetype size = output.size() + 6;
    for (const QString &source : sources)
        size += source.size() + 6;
    text.reserve(size);
    for (const QString &source : sources)
        text += QStringLiteral(" -i \"") + source + QLatin1Char('"');
    text += QStringLiteral(" -o \"") + output + QLatin1Char('"');
    return text;
}

ToolLocation splitToolLocation(const QString &toolPath)
{
    ToolLocation tool;
    const QChar sep = QDir::separator();
    const qsizetype last = toolPath.lastIndexOf(sep);
#ifdef Q_OS_WIN
    const qsizetype first = toolPath.indexOf(sep, 2);
    if (first < 0 || last < 2)
        return tool;
    tool.drive = toolPath.left(first);
    tool.folder = toolPath.left(last);
#else
    if (last < 0)
        return tool;
    tool.folder = last == 0 ? QString(sep) : toolPath.left(last);
#endif
    tool.fileName = toolPath.mid(last + 1);
    tool.usable = !tool.folder.isEmpty() && !tool.fileName.isEmpty();
    return tool;
}

QString joinCommandLine(const ToolLocation &tool, const QStringList &sources, const QString &output)
{
    return tool.fileName + joinArgumentText(sources, output);
}

QString installedToolFolder(const QString &programDir)
{
    return programDir + QStringLiteral("/../libexec/tapeknot");
}
