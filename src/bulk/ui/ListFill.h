#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class Store;
class QListWidget;
class QWidget;

// Filling the screens' lists and drop-downs, and the small widget habits the
// bulk sender and the contact screen share.
namespace ListFill {

// Replaces the items of a list. An editable drop-down keeps the text the
// operator sees; none of these emit change signals while they fill.
void setItems(QListWidget* list, const QStringList& items);
void setItems(QComboBox* combo, const QStringList& items);

// Fills a drop-down with the first column of a query; a store error is shown to the operator and
// leaves the items as they were.
void fillFromStore(QWidget* parent, QComboBox* combo, Store& store, const QString& sql);

// Light orange (255, 224, 192) while the field has the focus, white otherwise.
void installFocusColours(QWidget* field);

// Shows an error of the store or of a request to the operator.
void showError(QWidget* parent, const QString& text);

} // namespace ListFill
