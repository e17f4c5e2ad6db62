#include "ui/PrinterPropertiesDialog.h"

#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/MessageBoxTexts.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/WaitCursor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tollbook {

namespace {

const QString Section = QStringLiteral("Impressora");

QString text(const char* key)
{
    return Language::message(Section, QString::fromLatin1(key));
}

QString stateText(const PrinterDescription& printer)
{
    QString state = printer.state;
    if (printer.state == QLatin1String("idle")) {
        state = text("sMsgEstadoPronta");
    } else if (printer.state == QLatin1String("processing")) {
        state = text("sMsgEstadoImprimindo");
    } else if (printer.state == QLatin1String("stopped")) {
        state = text("sMsgEstadoParada");
    }
    if (state.isEmpty()) {
        state = printer.state;
    }
    if (!printer.stateReasons.isEmpty()) {
        state += QStringLiteral(" (") + printer.stateReasons.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return state;
}

QLabel* valueLabel(const QString& value, QWidget* parent)
{
    auto* label = new QLabel(value, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

PrinterPropertiesDialog::PrinterPropertiesDialog(const PrinterDescription& printer, const Printers& printers,
                                                 QWidget* parent)
    : QDialog(parent)
    , m_printers(printers)
    , m_printer(printer)
{
    setObjectName(QStringLiteral("PrinterProperties"));
    setModal(true);
    const QString title = Language::format(text("sMsgPropriedades"), { printer.name });
    setWindowTitle(title.isEmpty() ? printer.name : title);
    setMinimumWidth(420);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(text("sMsgNome"), valueLabel(printer.name, this));
    form->addRow(text("sMsgModelo"), valueLabel(printer.makeAndModel, this));
    form->addRow(text("sMsgDescricao"), valueLabel(printer.info, this));
    form->addRow(text("sMsgLocal"), valueLabel(printer.location, this));
    form->addRow(text("sMsgEstado"), valueLabel(stateText(printer), this));
    form->addRow(text("sMsgDispositivo"), valueLabel(printer.deviceUri, this));
    layout->addLayout(form);

    if (!printer.defaults.isEmpty()) {
        auto* group = new QGroupBox(text("sMsgPadroes"), this);
        auto* defaults = new QFormLayout(group);
        const QHash<QString, const char*> captions = { { QStringLiteral("media"), "sMsgPapel" },
                                                       { QStringLiteral("sides"), "sMsgFrenteVerso" },
                                                       { QStringLiteral("print-color-mode"), "sMsgModoCor" } };
        for (const PrinterDefault& entry : printer.defaults) {
            auto* chooser = new QComboBox(group);
            chooser->setObjectName(entry.attribute);
            QStringList choices = entry.supported;
            if (!entry.value.isEmpty() && !choices.contains(entry.value)) {
                choices.prepend(entry.value);
            }
            chooser->addItems(choices);
            chooser->setCurrentIndex(int(choices.indexOf(entry.value)));
            // Nothing to choose from: shown, not offered.
            chooser->setEnabled(choices.size() > 1);
            const char* caption = captions.value(entry.attribute);
            defaults->addRow(caption ? text(caption) : entry.attribute, chooser);
            m_choosers.insert(entry.attribute, chooser);
        }
        layout->addWidget(group);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(MessageBoxTexts::text(MessageBoxText::Ok).remove(QLatin1Char('&')));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(MessageBoxTexts::text(MessageBoxText::Cancel).remove(QLatin1Char('&')));
    connect(buttons, &QDialogButtonBox::accepted, this, &PrinterPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PrinterPropertiesDialog::reject);
    layout->addWidget(buttons);
}

QList<QPair<QString, QString>> PrinterPropertiesDialog::changedDefaults() const
{
    QList<QPair<QString, QString>> changed;
    for (const PrinterDefault& entry : m_printer.defaults) {
        const QComboBox* chooser = m_choosers.value(entry.attribute);
        if (chooser && chooser->currentIndex() >= 0 && chooser->currentText() != entry.value) {
            changed.append({ entry.attribute, chooser->currentText() });
        }
    }
    return changed;
}

void PrinterPropertiesDialog::accept()
{
    const QList<QPair<QString, QString>> changed = changedDefaults();
    if (!changed.isEmpty()) {
        try {
            WaitCursor wait;
            m_printers.setDefaults(m_printer.name, changed);
        } catch (const Error& error) {
            MessageBox::show(BoxKind::Error,
                             Language::format(text("sMsgNaoAltera"), { m_printer.name, error.message() }),
                             MessageBox::Buttons::Ok, this);
            return;
        }
    }
    QDialog::accept();
}

void PrinterPropertiesDialog::showForSelected(const QListWidget& list, const Printers& printers, QWidget* owner)
{
    for (int row = 0; row < list.count(); ++row) {
        const QListWidgetItem* item = list.item(row);
        if (!item->isSelected()) {
            continue;
        }
        PrinterDescription printer;
        try {
            WaitCursor wait;
            printer = printers.describe(item->text());
        } catch (const Error& error) {
            MessageBox::show(BoxKind::Warning, Language::format(text("sMsgNaoAbre"), { item->text(), error.message() }),
                             MessageBox::Buttons::Ok, owner);
            continue;
        }
        PrinterPropertiesDialog dialog(printer, printers, owner);
        dialog.exec();
    }
}

} // namespace tollbook
