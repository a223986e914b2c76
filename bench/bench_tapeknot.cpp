// Timings of the program's own work around the tool. Run with
// QT_QPA_PLATFORM=offscreen build/bin/bench_tapeknot
#include "naming/commonname.h"
#include "naming/outputpath.h"
#include "support/harness.h"
#include "join/resultlist.h"
#include "sources/sourcelist.h"

#include <QApplication>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace {

template <typename F>
double bestOf(int runs, F &&work)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

// A tool that only writes its output: what is left is the program's cost.
QString instantTool(const QString &folder)
{
    const QString path = folder + QStringLiteral("/instant-rmeditor");
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\nfor last; do :; done\nprintf joined > \"$last\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    // Sequential-name search over 10,000 taken names.
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    for (int i = 1; i <= 10000; ++i) {
        QFile f(folder + QStringLiteral("take%1.rm").arg(i, 4, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
    }
    NamingOptions o;
    o.sources = {folder + QStringLiteral("clip.rm")};
    o.mode = NamingOptions::Mode::Sequential;
    o.baseName = QStringLiteral("take");
    o.startNumber = QStringLiteral("0001");
    QString found;
    const double search = bestOf(5, [&] { found = OutputPath(o); });
    const double floor = bestOf(5, [&] {
        struct stat st;
        for (int i = 1; i <= 10000; ++i) {
            const QByteArray p = QFile::encodeName(folder + QStringLiteral("take%1.rm").arg(i, 4, 10, QLatin1Char('0')));
            ::stat(p.constData(), &st);
        }
    });
    std::printf("sequential search, 10000 taken:  %8.2f ms  (found %s; floor of 10000 stat calls %.2f ms; target < 10 ms)\n",
                search, qPrintable(QFileInfo(found).fileName()), floor);
    o.baseName = QStringLiteral("t?k*");
    const double wildSearch = bestOf(1, [&] { found = OutputPath(o); });
    std::printf("  the same with \"t?k*\" as base:   %8.2f ms  (found %s; one reading of the folder)\n", wildSearch,
                qPrintable(QFileInfo(found).fileName()));

    // Common part of 32,767 entries of 60 characters.
    QStringList entries;
    for (int i = 0; i < 32767; ++i)
        entries << (QStringLiteral("/rec/") + QString(48, QLatin1Char('n')) + QStringLiteral("%1.rm").arg(i, 5, 10, QLatin1Char('0')));
    QString common;
    const double commonMs = bestOf(5, [&] { common = CommonName(entries, true, true); });
    std::printf("common name, 32767 entries:      %8.2f ms  (target < 20 ms)\n", commonMs);

    // Dropping 32,767 paths onto the window.
    {
        Harness h;
        Form1 &f = h.startWithTool();
        auto data = fileDrop(entries);
        QElapsedTimer t;
        t.start();
        dropOn(ui(f).List1, data.get());
        QCoreApplication::processEvents();
        std::printf("drop of 32767 paths + preview:   %8.2f ms  (%d entries; target < 1000 ms)\n",
                    t.nsecsElapsed() / 1e6, ui(f).sources->count());
    }

    // The program's own cost around one join of 1,000 sources.
    {
        FakePlatform platform;
        QTemporaryDir programDir;
        QFile ini(programDir.filePath(QStringLiteral("tapeknot.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[shoki]\r\npath=" + QFile::encodeName(instantTool(programDir.path())) + "\r\n");
        ini.close();
        Form1 f(platform, programDir.path());
        f.StartUp();
        QStringList sources;
        for (int i = 0; i < 1000; ++i)
            sources << folder + QStringLiteral("source%1.rm").arg(i, 4, 10, QLatin1Char('0'));
        f.AddSources(sources);
        int n = 0;
        const double joinMs = bestOf(5, [&] {
            ui(f).Text5->setText(folder + QStringLiteral("joined%1.rm").arg(n++));
            ui(f).Command2[0]->click();
            while (f.joinBusy())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        });
        std::printf("join of 1000 sources, own cost:  %8.2f ms  (%lld result lines; includes starting a shell; target < 50 ms)\n", joinMs,
                    static_cast<long long>(ui(f).results->count()));
    }
    return 0;
}
