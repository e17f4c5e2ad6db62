#include "platform/Printers.h"

#include "platform/PrintersCups.h"

namespace tollbook {

const Printers& Printers::system()
{
#if defined(Q_OS_WIN)
#error "A Windows build adds its spooler implementation here"
#else
    static const CupsPrinters printers;
#endif
    return printers;
}

PrinterList& PrinterList::shared()
{
    static PrinterList list;
    return list;
}

const QStringList& PrinterList::names()
{
    if (!m_names) {
        m_names = m_printers.names();
    }
    return *m_names;
}

} // namespace tollbook
