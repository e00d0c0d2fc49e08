#include "bulk/ContactImport.h"

#include "bulk/ContactBook.h"
#include "common/TextNumbers.h"
#include "core/Store.h"

#include <QCoroTimer>
#include <chrono>

namespace ContactImport {

RowError::RowError(int row, const QString& text)
    : std::runtime_error(text.toStdString()), m_row(row), m_text(text)
{
}

QString mobileFrom(const QString& cell)
{
    const double value = TextNumbers::numericValue(cell);
    if (value > SmallestNumber)
        return TextNumbers::plain(value);
    return {};
}

QCoro::Task<Plan> read(CellReader cells, Target target, QString group, Control* control)
{
    Plan plan;
    const int yieldEvery = control && control->yieldEvery > 0 ? control->yieldEvery : 250;
    for (int row = 1; row <= MaxRows; ++row) {
        if (row % yieldEvery == 0) {
            if (control && control->progress)
                control->progress(plan.rowsRead);
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        }
        if (control && control->cancelled)
            throw Cancelled();

        const QString first = cells(row, 1);
        if (first.isEmpty())
            break; // an empty cell ends the list
        plan.rowsRead = row;
        const QString mobile = mobileFrom(first);
        if (mobile.isEmpty())
            continue;
        Row r{row, mobile, target == Target::Contacts ? cells(row, 2) : QString()};
        if (target == Target::Contacts) {
            try {
                ContactBook::checkWidths(r.name, r.mobile, group);
            } catch (const StoreError& e) {
                throw RowError(row, QStringLiteral("Row %1: %2").arg(row).arg(e.text()));
            }
        }
        plan.rows.append(r);
    }
    if (control && control->progress)
        control->progress(plan.rowsRead);
    co_return plan;
}

int store(Store& store, const Plan& plan, const QString& group)
{
    ContactBook book(store);
    Store::Transaction transaction(store);
    for (const Row& r : plan.rows)
        book.insert(r.name, r.mobile, group);
    transaction.commit();
    if (!plan.rows.isEmpty())
        Q_EMIT ContactEvents::instance().groupsChanged();
    return int(plan.rows.size());
}

QString closingMessage(int count)
{
    return TextNumbers::withLeadingBlank(count) + ClosingText;
}

} // namespace ContactImport
