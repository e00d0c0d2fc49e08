#pragma once

#include <QObject>

class QWidget;

// Installs the classic key filters on a text field as an event filter:
// DigitsOnly drops every key but digits, Backspace and Enter; UpperCase turns
// a..z into A..Z and drops the apostrophe; EnterToTab moves the focus to the
// next field on Enter. Flags combine.
class KeyFilterInstaller : public QObject
{
    Q_OBJECT
public:
    enum Filter
    {
        DigitsOnly = 1,
        UpperCase = 2,
        EnterToTab = 4
    };
    Q_DECLARE_FLAGS(Filters, Filter)

    static void install(QWidget* field, Filters filters);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyFilterInstaller(QWidget* field, Filters filters);
    Filters m_filters;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KeyFilterInstaller::Filters)
