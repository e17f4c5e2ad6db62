#pragma once

// Small documents made on the spot for the page counting and printing tests.

#include <QByteArray>
#include <QList>

// A PDF of the given objects, numbered from 1, with a cross-reference table and a trailer; `extra` follows the end
// (an incremental update, for instance).
inline QByteArray pdfOfObjects(const QList<QByteArray>& objects, const QByteArray& extra = QByteArray())
{
    QByteArray out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << static_cast<int>(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = static_cast<int>(out.size());
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets) {
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    }
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out + extra;
}

// A valid A4 PDF of `pages` pages: catalog (1), page tree (2), a shared content stream (3), then the pages.
// `separator` stands between /Type and /Page.
inline QByteArray samplePdf(int pages, const QByteArray& separator = " ")
{
    const QByteArray content = "BT /F1 12 Tf 72 720 Td ET";
    QList<QByteArray> objects{ "<< /Type /Catalog /Pages 2 0 R >>" };
    QByteArray kids;
    for (int i = 0; i < pages; ++i) {
        kids += QByteArray::number(i + 4) + " 0 R ";
    }
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    for (int i = 0; i < pages; ++i) {
        objects << "<< /Type" + separator + "/Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 3 0 R >>";
    }
    return pdfOfObjects(objects);
}
