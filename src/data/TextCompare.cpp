#include "TextCompare.h"

#include "Collation.h"

#include <QStringView>

namespace tollbook::TextCompare {

int compare(const QString& a, const QString& b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    return Collation::compare(x.constData(), int(x.size()), y.constData(), int(y.size()));
}

bool equal(const QString& a, const QString& b)
{
    return a.size() == b.size() ? key(a) == key(b) : compare(a, b) == 0;
}

QString key(const QString& text)
{
    QString result;
    result.reserve(text.size());
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size(); ++i) {
        char32_t codePoint = view.at(i).unicode();
        if (QChar::isHighSurrogate(codePoint) && i + 1 < view.size() && view.at(i + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(view.at(i), view.at(i + 1));
            ++i;
        }
        const char32_t folded = Collation::fold(codePoint);
        if (QChar::requiresSurrogates(folded)) {
            result += QChar(QChar::highSurrogate(folded));
            result += QChar(QChar::lowSurrogate(folded));
        } else {
            result += QChar(char16_t(folded));
        }
    }
    return result;
}

} // namespace tollbook::TextCompare
