#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace tollbook {

// One default of a printer that the print system lets be chosen: its attribute ("media", "sides",
// "print-color-mode"), the value now in force and the values the printer supports.
struct PrinterDefault
{
    QString attribute;
    QString value;
    QStringList supported;
};

// What the print system says of one printer.
struct PrinterDescription
{
    QString name;
    QString makeAndModel;
    QString location;
    QString info;
    QString state; // "idle", "processing" or "stopped"
    QStringList stateReasons;
    QString deviceUri;
    QList<PrinterDefault> defaults; // media, sides, colour mode, those the printer reports
};

// The printers of the operating system, the ones a user of this computer can print to. One implementation
// per platform: CUPS here; a Windows build would use EnumPrintersW, OpenPrinterW and the driver's own
// properties. They are unrelated to the printers the application accounts for (the Impressora registry).
class Printers
{
public:
    virtual ~Printers() = default;

    // The names of the installed printers and the user's printer connections, in the order the system
    // gives them, not sorted.
    virtual QStringList names() const = 0;
    // Opens the printer and reads what the system says of it. Throws PlainError with the system's reason
    // when the printer cannot be opened.
    virtual PrinterDescription describe(const QString& name) const = 0;
    // Makes the values (attribute, value) the printer's defaults for every user of the print server.
    // Throws PlainError with the system's reason when it refuses (the user may not administer printers).
    virtual void setDefaults(const QString& name, const QList<QPair<QString, QString>>& values) const = 0;

    // The implementation for the platform this build runs on.
    static const Printers& system();
};

// The printer names enumerated at the first use and kept: a printer installed or removed afterwards
// shows only after a restart.
class PrinterList
{
public:
    explicit PrinterList(const Printers& printers = Printers::system())
        : m_printers(printers)
    {
    }

    const QStringList& names();

    // The list of the process, over the system's printers.
    static PrinterList& shared();

private:
    const Printers& m_printers;
    std::optional<QStringList> m_names;
};

} // namespace tollbook
