// Drop-file intake per file with 200 and 2,000 files of 10 lines waiting in
// \SMSQ\, as the engine's ticks take them (a fresh importer per tick, the
// folder looked at, up to six files per call), against a bare loop that
// reads, parses and inserts the same files (one transaction per file) and
// deletes them. The time per file must not grow with the files waiting.
#include "BenchStore.h"
#include "core/Store.h"
#include "intake/DropFileImporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {
constexpr int kLines = 10;

void writeFiles(const QString& folder, int files)
{
    for (int f = 0; f < files; ++f) {
        QFile file(QDir(folder).filePath(QStringLiteral("drop%1.sms").arg(f, 6, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        QByteArray data;
        for (int i = 0; i < kLines; ++i)
            data += QStringLiteral("98765-%1|Bench message %2 of file %3|%4|20240105140309|0\r\n")
                        .arg(10000 + i)
                        .arg(i)
                        .arg(f)
                        .arg(i % 3)
                        .toUtf8();
        file.write(data);
    }
}

double engineIntake(Store& store, const QString& home, int files)
{
    const QString folder = QDir(home).filePath(QStringLiteral("SMSQ"));
    writeFiles(folder, files);
    QElapsedTimer t;
    t.start();
    int imported = 0;
    while (imported < files) {
        DropFileImporter importer(store, DropFormat::pipe(), home);
        importer.setMinimumAge(std::chrono::milliseconds(0));
        if (!importer.hasWork())
            break;
        const ImportReport report = importer.run();
        if (!report.errors.isEmpty() || report.filesImported == 0)
            qFatal("import failed: %s", qPrintable(report.errors.join(QStringLiteral("; "))));
        imported += report.filesImported;
    }
    const double ms = double(t.nsecsElapsed()) / 1e6 / files;
    store.exec(QStringLiteral("delete from Rsms"));
    return ms;
}

double bareIntake(Store& store, const QString& home, int files)
{
    const QString folder = QDir(home).filePath(QStringLiteral("SMSQ"));
    writeFiles(folder, files);
    QElapsedTimer t;
    t.start();
    QSqlQuery insert(store.db());
    insert.prepare(
        QStringLiteral("insert into Rsms (Mobile, msg, urgent, RDtTM, typ) values (?, ?, ?, ?, ?)"));
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.sms")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(name));
        Store::Transaction tr(store);
        while (!file.atEnd()) {
            const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(u'|');
            if (fields.size() < 5)
                continue;
            QString number = fields[0];
            number.remove(u'-');
            insert.bindValue(0, QStringLiteral(" ") + number);
            insert.bindValue(1, fields[1]);
            insert.bindValue(2, fields[2].toInt());
            insert.bindValue(3, fields[3]);
            insert.bindValue(4, fields[4].toInt());
            if (!insert.exec())
                qFatal("insert failed");
        }
        tr.commit();
        file.remove();
    }
    const double ms = double(t.nsecsElapsed()) / 1e6 / files;
    store.exec(QStringLiteral("delete from Rsms"));
    return ms;
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

    std::printf("Intake of drop files of %d lines, per file\n", kLines);
    double first = 0;
    for (int files : {200, 2000}) {
        const double engine = engineIntake(*store, home.path(), files);
        const double bare = bareIntake(*store, home.path(), files);
        if (first == 0)
            first = engine;
        std::printf("%5d files waiting: engine %6.3f ms, bare parse + insert %6.3f ms, ratio %5.2fx, "
                    "%5.2fx the 200-file figure\n",
                    files, engine, bare, engine / bare, engine / first);
        std::fflush(stdout);
    }
    return 0;
}
