#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

class QIODevice;

namespace tollbook {

// The lines of a journal file, read one after the other, so that memory does not grow with the file. A UTF-8,
// UTF-16 little-endian or UTF-16 big-endian byte-order mark selects that encoding and is skipped; without one
// the text is Windows-1252. A line ends at CR LF, at a lone CR or at a lone LF; a line break at the very end
// makes no extra line. Of a very long line only the part a reader looks at is kept (enough for MaxLineLength
// characters in any encoding).
class JournalText
{
public:
    enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian, Windows1252 };

    // The device must be open for reading and stay valid while the text is read. chunkSize: bytes read at once.
    explicit JournalText(QIODevice* device, qsizetype chunkSize = 64 * 1024);
    JournalText(const JournalText&) = delete;
    JournalText& operator=(const JournalText&) = delete;

    Encoding encoding() const { return m_encoding; }
    // The next line, decoded, without its line break; false at the end. Throws PlainError when the device
    // fails.
    bool nextLine(QString& line);
    // The same without decoding.
    bool skipLine();

private:
    bool nextBytes(bool keep);
    bool fill();
    char16_t unitAt(qsizetype position) const;
    void keep(qsizetype begin, qsizetype end);

    QIODevice* m_device;
    qsizetype m_chunkSize;
    Encoding m_encoding = Encoding::Windows1252;
    int m_unit = 1; // bytes per code unit
    QByteArray m_buffer;
    qsizetype m_position = 0; // in m_buffer
    bool m_afterCr = false;   // the last line ended at a CR: an LF right after it belongs to that break
    QByteArray m_line;        // the current line's bytes, cut to what is kept
    QStringDecoder m_ansi;
};

} // namespace tollbook
