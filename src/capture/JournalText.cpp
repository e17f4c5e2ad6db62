#include "capture/JournalText.h"

#include <QtEndian>

#include <cstring>

namespace tollbook {

JournalText::JournalText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        m_encoding = Encoding::Utf8;
        m_text = bytes.sliced(3);
    } else if (bytes.startsWith("\xFF\xFE")) {
        m_encoding = Encoding::Utf16LittleEndian;
        m_text = bytes.sliced(2);
    } else if (bytes.startsWith("\xFE\xFF")) {
        m_encoding = Encoding::Utf16BigEndian;
        m_text = bytes.sliced(2);
    } else {
        m_encoding = Encoding::Windows1252;
        m_text = bytes;
        m_ansi = QStringDecoder("windows-1252");
    }
    switch (m_encoding) {
        case Encoding::Utf16LittleEndian:
            findWideLines(false);
            break;
        case Encoding::Utf16BigEndian:
            findWideLines(true);
            break;
        default:
            findByteLines();
            break;
    }
}

void JournalText::findByteLines()
{
    const char* data = m_text.data();
    const qsizetype size = m_text.size();
    // The next LF is looked for once and kept, so that a file of lone CRs is not searched over and over.
    qsizetype lineFeed = -1;
    qsizetype position = 0;
    while (position < size) {
        if (lineFeed < position) {
            const void* found = std::memchr(data + position, '\n', size_t(size - position));
            lineFeed = found ? static_cast<const char*>(found) - data : size;
        }
        const void* carriage = std::memchr(data + position, '\r', size_t(lineFeed - position));
        qsizetype end = lineFeed;
        qsizetype next = lineFeed + 1;
        if (carriage) {
            end = static_cast<const char*>(carriage) - data;
            next = end + 1 < size && data[end + 1] == '\n' ? end + 2 : end + 1;
        }
        m_lines.push_back({ position, end - position });
        position = next;
    }
}

void JournalText::findWideLines(bool bigEndian)
{
    const auto* data = reinterpret_cast<const uchar*>(m_text.data());
    const qsizetype units = m_text.size() / 2; // an odd last byte is no character
    const auto unit = [&](qsizetype index) {
        const uchar* at = data + 2 * index;
        return bigEndian ? char16_t(at[0] << 8 | at[1]) : char16_t(at[1] << 8 | at[0]);
    };
    qsizetype begin = 0;
    qsizetype index = 0;
    while (index < units) {
        const char16_t c = unit(index);
        if (c != u'\r' && c != u'\n') {
            ++index;
            continue;
        }
        m_lines.push_back({ 2 * begin, 2 * (index - begin) });
        index += c == u'\r' && index + 1 < units && unit(index + 1) == u'\n' ? 2 : 1;
        begin = index;
    }
    if (begin < units) {
        m_lines.push_back({ 2 * begin, 2 * (units - begin) });
    }
}

QString JournalText::line(qsizetype index)
{
    const Span& span = m_lines.at(size_t(index));
    const QByteArrayView bytes = m_text.sliced(span.begin, span.length);
    switch (m_encoding) {
        case Encoding::Utf8:
            return QString::fromUtf8(bytes);
        case Encoding::Utf16LittleEndian:
        case Encoding::Utf16BigEndian: {
            QString text(bytes.size() / 2, Qt::Uninitialized);
            if (m_encoding == Encoding::Utf16LittleEndian) {
                qFromLittleEndian<quint16>(bytes.data(), text.size(), text.data());
            } else {
                qFromBigEndian<quint16>(bytes.data(), text.size(), text.data());
            }
            return text;
        }
        case Encoding::Windows1252:
            break;
    }
    return m_ansi.decode(bytes);
}

} // namespace tollbook
