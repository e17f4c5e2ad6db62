#pragma once

#include <QString>

// Who makes Tollbook, as the About box and the login dialog show it.
namespace tollbook::Maker {

inline const QString NoticeLine = QStringLiteral("© 2026 Tollbook Sistemas Ltda.");
// Shown without the scheme; opened over https.
inline const QString SiteAddress = QStringLiteral("www.tollbook.example");
inline const QString SupportAddress = QStringLiteral("suporte@tollbook.example");

} // namespace tollbook::Maker
