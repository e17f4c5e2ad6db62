#pragma once

#include "platform/Printers.h"

namespace tollbook {

// The printers of the CUPS server this process talks to (the default one, or CUPS_SERVER): its queues and
// the user's own instances, described from the server's printer attributes; defaults are changed on the
// server, as lpadmin does, which CUPS allows its administrators only.
class CupsPrinters final : public Printers
{
public:
    QStringList names() const override;
    PrinterDescription describe(const QString& name) const override;
    void setDefaults(const QString& name, const QList<QPair<QString, QString>>& values) const override;
};

} // namespace tollbook
