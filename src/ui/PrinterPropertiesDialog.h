#pragma once

#include "platform/Printers.h"

#include <QDialog>
#include <QHash>

class QComboBox;
class QListWidget;

namespace tollbook {

// The properties of one printer of the system as its print server describes it: make and model, location,
// description, state, device, and the defaults it lets be chosen (paper, sides, colour mode) among the
// values it supports. OK makes the changed defaults the printer's; a refusal of the server is shown and the
// dialog stays open.
class PrinterPropertiesDialog : public QDialog
{
    Q_OBJECT

public:
    PrinterPropertiesDialog(const PrinterDescription& printer, const Printers& printers, QWidget* parent = nullptr);

    // The chooser of a default ("media", "sides", "print-color-mode"); nullptr when the printer has none.
    QComboBox* chooser(const QString& attribute) const { return m_choosers.value(attribute); }
    // The defaults that differ from those the printer had, as (attribute, value).
    QList<QPair<QString, QString>> changedDefaults() const;

    void accept() override;

    // Shows the properties of every selected printer of the list, one modal dialog after the other, owned
    // by owner. A printer that cannot be opened is named in a warning and the next one follows.
    static void showForSelected(const QListWidget& list, const Printers& printers, QWidget* owner);

private:
    const Printers& m_printers;
    PrinterDescription m_printer;
    QHash<QString, QComboBox*> m_choosers;
};

} // namespace tollbook
