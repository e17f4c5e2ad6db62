#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace tollbook {

class Printers;

// "Impressoras" (frmImpressora): the printers of the system in a list, with "Propriedade" showing the
// selected printer's properties (owned by the main window) and "Fechar". Built each time it is opened,
// shown modally; its window file is applied when it is shown.
class PrinterDialog : public QDialog
{
    Q_OBJECT

public:
    // propertiesOwner: the window the properties dialogs belong to (the main window).
    PrinterDialog(const QStringList& names, const Printers& printers, QWidget* propertiesOwner,
                  QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    // "Propriedade"
    void showProperties();

protected:
    void showEvent(QShowEvent* event) override;

private:
    const Printers& m_printers;
    QWidget* m_propertiesOwner;
    QListWidget* m_list;
};

} // namespace tollbook
