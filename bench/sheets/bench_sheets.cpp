// Time to open a 10,000-row workbook and read every cell of it, and the
// peak memory of doing so, for .xls, .xlsx and .csv.
//
//   bench_sheets [--rows N]      generates the files, then measures each one
//                                in a process of its own
//   bench_sheets --read FILE     measures one file

#include "spreadsheet/reader/SheetReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

long residentKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    return -1;
}

int measure(const QString& path)
{
    const long before = residentKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<SheetReader> sheet;
    try {
        sheet = SheetReader::open(path);
    } catch (const SheetError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const double openMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    qsizetype characters = 0;
    int filled = 0;
    for (int r = 1; r <= sheet->rowCount(); ++r) {
        for (int c = 1; c <= sheet->columnCount(); ++c) {
            const QString text = sheet->cell(r, c);
            characters += text.size();
            filled += text.isEmpty() ? 0 : 1;
        }
    }
    const double readMs = timer.nsecsElapsed() / 1e6;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-5s %6d rows x %d columns  file %7lld KB  open %8.1f ms  read all cells %6.2f ms  "
                "(%d cells, %lld characters)  RSS before %6ld KB, peak %6ld KB\n",
                qPrintable(QFileInfo(path).suffix()), sheet->rowCount(), sheet->columnCount(),
                static_cast<long long>(QFileInfo(path).size() / 1024), openMs, readMs, filled,
                static_cast<long long>(characters), before, usage.ru_maxrss);
    return 0;
}

bool writeCsv(const QString& path, int rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("Mobile,Name,Group\r\n");
    for (int i = 1; i < rows; ++i)
        file.write(
            QStringLiteral("%1,Contact %2,GROUP%3\r\n").arg(9000000000LL + i).arg(i).arg(i % 7).toUtf8());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"--read")
        return measure(args[2]);

    int rows = 10000;
    if (args.size() == 3 && args[1] == u"--rows")
        rows = args[2].toInt();
    if (rows < 2) {
        std::fprintf(stderr, "usage: bench_sheets [--rows N] | --read FILE\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QElapsedTimer timer;
    timer.start();
    const int generated = QProcess::execute(
        QStringLiteral(SYSTEM_PYTHON),
        {QStringLiteral(SHEET_GENERATOR), QStringLiteral("bench"), dir.path(), QString::number(rows)});
    if (generated != 0 || !writeCsv(dir.filePath(QStringLiteral("contacts.csv")), rows)) {
        std::fprintf(stderr, "could not generate the workbooks\n");
        return 1;
    }
    std::printf("generated %d-row workbooks in %.1f s\n", rows, timer.nsecsElapsed() / 1e9);
    std::fflush(stdout);

    int failures = 0;
    for (const char* name : {"contacts.xls", "contacts.xlsx", "contacts.csv"})
        failures +=
            QProcess::execute(app.applicationFilePath(),
                              {QStringLiteral("--read"), dir.filePath(QString::fromLatin1(name))}) != 0;
    return failures == 0 ? 0 : 1;
}
