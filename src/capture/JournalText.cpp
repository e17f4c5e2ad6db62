#include "capture/JournalText.h"

#include "capture/JournalLine.h"
#include "platform/Errors.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace tollbook {

namespace {

// Enough bytes for MaxLineLength characters in any of the encodings, and one more.
constexpr qsizetype KeptBytes = (JournalLine::MaxLineLength + 1) * 4;

} // namespace

JournalText::JournalText(QIODevice* device, qsizetype chunkSize)
    : m_device(device)
    , m_chunkSize(std::max<qsizetype>(chunkSize, 4))
{
    while (m_buffer.size() < 3 && fill()) {
    }
    if (m_buffer.startsWith("\xEF\xBB\xBF")) {
        m_encoding = Encoding::Utf8;
        m_position = 3;
    } else if (m_buffer.startsWith("\xFF\xFE")) {
        m_encoding = Encoding::Utf16LittleEndian;
        m_position = 2;
        m_unit = 2;
    } else if (m_buffer.startsWith("\xFE\xFF")) {
        m_encoding = Encoding::Utf16BigEndian;
        m_position = 2;
        m_unit = 2;
    } else {
        m_encoding = Encoding::Windows1252;
        m_ansi = QStringDecoder("windows-1252");
    }
}

bool JournalText::fill()
{
    m_buffer.remove(0, m_position);
    m_position = 0;
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + m_chunkSize);
    const qint64 read = m_device->read(m_buffer.data() + kept, m_chunkSize);
    if (read < 0) {
        m_buffer.resize(kept);
        throw PlainError(QStringLiteral("O arquivo não pode ser lido: %1").arg(m_device->errorString()));
    }
    m_buffer.resize(kept + read);
    return read > 0;
}

char16_t JournalText::unitAt(qsizetype position) const
{
    const auto* at = reinterpret_cast<const uchar*>(m_buffer.constData()) + position;
    switch (m_encoding) {
        case Encoding::Utf16LittleEndian:
            return char16_t(at[1] << 8 | at[0]);
        case Encoding::Utf16BigEndian:
            return char16_t(at[0] << 8 | at[1]);
        default:
            return char16_t(at[0]);
    }
}

void JournalText::keep(qsizetype begin, qsizetype end)
{
    const qsizetype room = KeptBytes - m_line.size();
    if (room > 0) {
        m_line.append(m_buffer.constData() + begin, std::min(room, end - begin));
    }
}

bool JournalText::nextBytes(bool keepBytes)
{
    m_line.clear();
    bool any = false;
    for (;;) {
        if (m_buffer.size() - m_position < m_unit) {
            // At the end an odd last byte of UTF-16 is no character.
            if (!fill()) {
                return any;
            }
            continue;
        }
        if (m_afterCr) {
            m_afterCr = false;
            if (unitAt(m_position) == u'\n') {
                m_position += m_unit;
                continue;
            }
        }
        const qsizetype end = m_buffer.size() - (m_buffer.size() - m_position) % m_unit;
        qsizetype at = m_position;
        if (m_unit == 1) {
            const char* data = m_buffer.constData();
            while (at < end && data[at] != '\r' && data[at] != '\n') {
                ++at;
            }
        } else {
            while (at < end && unitAt(at) != u'\r' && unitAt(at) != u'\n') {
                at += m_unit;
            }
        }
        if (keepBytes) {
            keep(m_position, at);
        }
        if (at < end) {
            m_afterCr = unitAt(at) == u'\r';
            m_position = at + m_unit;
            return true;
        }
        any = true;
        m_position = end;
    }
}

bool JournalText::skipLine()
{
    return nextBytes(false);
}

bool JournalText::nextLine(QString& line)
{
    if (!nextBytes(true)) {
        return false;
    }
    switch (m_encoding) {
        case Encoding::Utf8:
            line = QString::fromUtf8(m_line);
            break;
        case Encoding::Utf16LittleEndian:
        case Encoding::Utf16BigEndian:
            line.resize(m_line.size() / 2);
            if (m_encoding == Encoding::Utf16LittleEndian) {
                qFromLittleEndian<quint16>(m_line.constData(), line.size(), line.data());
            } else {
                qFromBigEndian<quint16>(m_line.constData(), line.size(), line.data());
            }
            break;
        case Encoding::Windows1252:
            line = m_ansi.decode(m_line);
            break;
    }
    return true;
}

} // namespace tollbook
