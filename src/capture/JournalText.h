#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <vector>

namespace tollbook {

// The lines of a journal file. A UTF-8, UTF-16 little-endian or UTF-16 big-endian byte-order mark selects
// that encoding and is skipped; without one the text is Windows-1252. A line ends at CR LF, at a lone CR
// or at a lone LF; a line break at the very end makes no extra line. The lines are found in the bytes
// first and decoded one at a time, so a large journal is never held twice in memory.
class JournalText
{
public:
    enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian, Windows1252 };

    // The bytes must stay valid while the text is used.
    explicit JournalText(QByteArrayView bytes);
    JournalText(const JournalText&) = delete;
    JournalText& operator=(const JournalText&) = delete;

    Encoding encoding() const { return m_encoding; }
    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    // The whole line, decoded, without its line break.
    QString line(qsizetype index);

private:
    struct Span
    {
        qsizetype begin; // in bytes from the start of the text
        qsizetype length;
    };

    void findByteLines();
    void findWideLines(bool bigEndian);

    QByteArrayView m_text; // after the byte-order mark
    Encoding m_encoding = Encoding::Windows1252;
    std::vector<Span> m_lines;
    QStringDecoder m_ansi;
};

} // namespace tollbook
