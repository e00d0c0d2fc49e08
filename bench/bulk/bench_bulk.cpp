// Prints the time to import 10,000 contacts (from a CSV file and from an
// .xlsx workbook when python3-openpyxl is there) and to send one text to
// 10,000 numbers against the local gateway simulator.

#include "BenchStore.h"
#include "bulk/BulkSender.h"
#include "bulk/ContactImport.h"
#include "core/EngineContext.h"
#include "core/Store.h"
#include "gateway/GatewaySim.h"
#include "spreadsheet/reader/SheetReader.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {
constexpr int Count = 10000;

std::unique_ptr<EngineContext> makeContext(const QTemporaryDir& dir, const QString& name,
                                           const QString& sendUrl)
{
    auto store = openBenchStore(dir.filePath(name));
    auto context = std::make_unique<EngineContext>(std::move(store));
    context->store().exec(
        QStringLiteral("INSERT INTO config (UName, Password, Provider, TmInterval, Smsid, ConSrt, "
                       "Defult) VALUES ('BENCH', 'pw', ?, 5000, 0, 'C', 1)"),
        {sendUrl});
    context->loadProfile(QString());
    return context;
}

double importFile(const QTemporaryDir& dir, const QString& path, int* added)
{
    auto context = makeContext(dir, QFileInfo(path).fileName() + QStringLiteral(".db"),
                               QStringLiteral("x?to=<mobile>&m=<msg>"));
    QElapsedTimer t;
    t.start();
    auto sheet = SheetReader::open(path);
    const SheetReader* cells = sheet.get();
    const auto plan = QCoro::waitFor(ContactImport::read([cells](int r, int c) { return cells->cell(r, c); },
                                                         ContactImport::Target::Contacts,
                                                         QStringLiteral("BENCH"), nullptr));
    *added = ContactImport::store(context->store(), plan, QStringLiteral("BENCH"));
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // Import from CSV.
    const QString csvPath = dir.filePath(QStringLiteral("contacts.csv"));
    {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < Count; ++i)
            csv.write(QStringLiteral("%1,CONTACT %2\r\n").arg(9000000000LL + i).arg(i).toUtf8());
    }
    int added = 0;
    const double csvMs = importFile(dir, csvPath, &added);
    std::printf("import %d contacts from CSV: %.1f ms (%d added)\n", Count, csvMs, added);

    // Import from .xlsx.
    const QString xlsxPath = dir.filePath(QStringLiteral("contacts.xlsx"));
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import openpyxl,sys\nwb=openpyxl.Workbook()\nws=wb.active\n"
                                 "for i in range(%1): ws.append([9000000000+i, 'CONTACT %d' % i])\n"
                                 "wb.save(sys.argv[1])")
                      .arg(Count),
                  xlsxPath});
    if (python.waitForFinished(120000) && python.exitCode() == 0) {
        const double xlsxMs = importFile(dir, xlsxPath, &added);
        std::printf("import %d contacts from .xlsx: %.1f ms (%d added)\n", Count, xlsxMs, added);
    } else {
        std::printf("import from .xlsx: skipped (python3-openpyxl not available)\n");
    }

    // Send to 10,000 numbers.
    GatewaySim sim;
    if (!sim.isRunning()) {
        std::fprintf(stderr, "gateway simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    auto context =
        makeContext(dir, QStringLiteral("send.db"),
                    sim.baseUrl() + QStringLiteral("/send?u=<UName>&p=<PassWord>&to=<mobile>&msg=<msg>"));
    BulkSender sender(*context);
    sender.setConfirm([](const QString&, const QString&) { return true; });
    QStringList numbers;
    for (int i = 0; i < Count; ++i)
        numbers << QString::number(9000000000LL + i);
    QElapsedTimer t;
    t.start();
    const auto outcome = QCoro::waitFor(sender.send(QStringLiteral("Bench message with some text"),
                                                    numbers.join(QLatin1Char(',')), context->profile()));
    const double sendMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("send to %d numbers: %.1f ms (%d requests, %d ledger rows)\n", Count, sendMs,
                outcome.requests, outcome.recorded);
    return outcome.recorded == Count ? 0 : 1;
}
