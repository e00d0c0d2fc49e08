// Prints how many drop-file lines a second the import queues, for files of
// 1, 100 and 10,000 lines, in both formats. The store is an SQLite file in a
// temporary folder, as on a workstation.
#include "BenchStore.h"
#include "intake/DropFileImporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {
void writeFile(const QString& path, int lines, QChar separator)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray data;
    data.reserve(lines * 64);
    for (int i = 0; i < lines; ++i) {
        data += QStringLiteral("98765-%1%2Bench message number %3, as typed%2%4%220240105140309%20\r\n")
                    .arg(10000 + i % 90000)
                    .arg(separator == u',' ? QStringLiteral(",") : QStringLiteral("|"))
                    .arg(i)
                    .arg(i % 3)
                    .toUtf8();
    }
    if (separator == u',')
        data.replace(", as typed", " as typed"); // a comma ends a comma file's text
    f.write(data);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    if (!home.isValid())
        qFatal("no temporary folder");
    auto store = openBenchStore(QDir(home.path()).filePath(QStringLiteral("SMS.db")));
    QDir(home.path()).mkdir(QStringLiteral("SMSQ"));
    QDir(home.path()).mkdir(QStringLiteral("SMS"));

    std::printf("%-8s %8s %6s %10s %14s\n", "format", "lines", "runs", "ms/run", "lines/second");
    for (const DropFormat* format : {&DropFormat::pipe(), &DropFormat::comma()}) {
        DropFileImporter importer(*store, *format, home.path());
        importer.setMinimumAge(std::chrono::milliseconds(0));
        const QString folder = importer.folderPath();
        const QString name =
            format->separator == u',' ? QStringLiteral("M0001.txt") : QStringLiteral("a.sms");
        for (int lines : {1, 100, 10000}) {
            const int runs = lines == 1 ? 200 : lines == 100 ? 50 : 5;
            qint64 totalNs = 0;
            qint64 queued = 0;
            for (int r = 0; r < runs; ++r) {
                writeFile(QDir(folder).filePath(name), lines, format->separator);
                QElapsedTimer timer;
                timer.start();
                const ImportReport report = importer.run();
                totalNs += timer.nsecsElapsed();
                queued += report.linesQueued;
                if (report.linesQueued != lines || !report.errors.isEmpty())
                    qFatal("import queued %d of %d lines: %s", report.linesQueued, lines,
                           qPrintable(report.errors.join(QStringLiteral("; "))));
            }
            store->exec(QStringLiteral("DELETE FROM Rsms"));
            const double seconds = totalNs / 1e9;
            std::printf("%-8s %8d %6d %10.3f %14.0f\n", format->separator == u',' ? "comma" : "pipe", lines,
                        runs, seconds * 1000.0 / runs, queued / seconds);
        }
    }
    return 0;
}
