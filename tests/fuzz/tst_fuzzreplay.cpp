// Every stored fuzz input, replayed through its target's function: the
// seeds, the workbooks of the reader tests and each input that once crashed
// or hung a fuzzer (regressions/<target>/). A target aborts on a broken
// promise, so a fault found once fails this test for good.
#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QStringList storedInputs(const QString& target)
{
    QStringList files;
    const QString source = QStringLiteral(FUZZ_SOURCE_DIR);
    for (const QString& kind : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
        const QDir dir(source + u'/' + kind + u'/' + target);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
            files.append(dir.filePath(name));
    }
    // The spreadsheet targets also take the reader tests' workbooks of
    // their kind.
    if (target == u"xls" || target == u"xlsx" || target == u"csv") {
        const QDir sheets(QStringLiteral(FUZZ_SHEET_SEEDS));
        for (const QString& name : sheets.entryList({QStringLiteral("*.") + target}, QDir::Files, QDir::Name))
            files.append(sheets.filePath(name));
    }
    return files;
}

} // namespace

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyTargetHasInputs_data()
    {
        QTest::addColumn<QString>("target");
        for (const Fuzz::Target& target : Fuzz::targets())
            QTest::newRow(target.name) << QString::fromLatin1(target.name);
    }
    void everyTargetHasInputs()
    {
        QFETCH(QString, target);
        QVERIFY2(!storedInputs(target).isEmpty(), qPrintable(target));
    }

    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        for (const Fuzz::Target& target : Fuzz::targets()) {
            const QString name = QString::fromLatin1(target.name);
            for (const QString& file : storedInputs(name))
                QTest::addRow("%s/%s", target.name, qPrintable(QFileInfo(file).fileName())) << name << file;
        }
    }
    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        QFile input(file);
        QVERIFY2(input.open(QIODevice::ReadOnly), qPrintable(input.errorString()));
        const QByteArray bytes = input.readAll();
        const Fuzz::Function run = Fuzz::byName(target.toLatin1().constData());
        QVERIFY(run);
        run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
};

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
