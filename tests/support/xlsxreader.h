#pragma once

// Reads back the spreadsheet files the program writes, with Qt and zlib only: the entries of the zip
// container and the cells of the first worksheet.

#include <zlib.h>

#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

namespace hxtest {

namespace detail {
inline quint32 le32(const QByteArray& b, qsizetype at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16 |
           quint32(quint8(b[at + 3])) << 24;
}
inline quint16 le16(const QByteArray& b, qsizetype at) {
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}
}  // namespace detail

// The entries of a zip file, read through its central directory; stored and deflated entries only, which
// is what spreadsheet files use.
inline QMap<QString, QByteArray> readZip(const QString& path) {
    using detail::le16;
    using detail::le32;
    QMap<QString, QByteArray> entries;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return entries;
    const QByteArray zip = f.readAll();
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size()) return entries;
    const int count = le16(zip, end + 10);
    qsizetype at = le32(zip, end + 16);
    for (int i = 0; i < count; ++i) {
        if (at + 46 > zip.size() || le32(zip, at) != 0x02014b50) return {};
        const int method = le16(zip, at + 10);
        const quint32 packed = le32(zip, at + 20);
        const quint32 size = le32(zip, at + 24);
        const int nameLength = le16(zip, at + 28);
        const int extraLength = le16(zip, at + 30);
        const int commentLength = le16(zip, at + 32);
        const quint32 local = le32(zip, at + 42);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLength));
        at += 46 + nameLength + extraLength + commentLength;

        if (qsizetype(local) + 30 > zip.size()) return {};
        const qsizetype data = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
        const QByteArray raw = zip.mid(data, packed);
        if (method == 0) {
            entries.insert(name, raw);
            continue;
        }
        if (method != 8) return {};
        QByteArray out(qsizetype(size), '\0');
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return {};
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
        z.avail_in = uInt(raw.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        const int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END) return {};
        entries.insert(name, out);
    }
    return entries;
}

struct Cell {
    QString type;  // s: shared text, str/inlineStr: text, b: logical, n: number
    QString value;
    int style = 0;
    QString numberFormat;  // the code of the cell's number format; "General" when it has none
};

// The number format codes of a workbook's cell styles, by style index.
inline QStringList readNumberFormats(const QMap<QString, QByteArray>& zip) {
    QMap<int, QString> codes{{0, QStringLiteral("General")},  {1, QStringLiteral("0")},
                             {2, QStringLiteral("0.00")},     {3, QStringLiteral("#,##0")},
                             {4, QStringLiteral("#,##0.00")}, {14, QStringLiteral("m/d/yyyy")}};
    QStringList styles;
    QXmlStreamReader xml(zip.value(QStringLiteral("xl/styles.xml")));
    bool inCellStyles = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("numFmt")) {
            codes.insert(xml.attributes().value("numFmtId").toInt(),
                         xml.attributes().value("formatCode").toString());
        } else if (xml.name() == QLatin1String("cellXfs")) {
            inCellStyles = token == QXmlStreamReader::StartElement;
        } else if (inCellStyles && token == QXmlStreamReader::StartElement &&
                   xml.name() == QLatin1String("xf")) {
            styles << codes.value(xml.attributes().value("numFmtId").toInt(), QStringLiteral("?"));
        }
    }
    return styles;
}

// The first worksheet of a spreadsheet file as cell reference -> cell, texts and number formats resolved.
inline QMap<QString, Cell> readSheet(const QString& path) {
    const auto zip = readZip(path);
    const QStringList numberFormats = readNumberFormats(zip);
    QStringList shared;
    QXmlStreamReader sst(zip.value(QStringLiteral("xl/sharedStrings.xml")));
    while (!sst.atEnd()) {
        if (sst.readNext() == QXmlStreamReader::StartElement && sst.name() == QLatin1String("si"))
            shared << sst.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    QMap<QString, Cell> cells;
    QXmlStreamReader xml(zip.value(QStringLiteral("xl/worksheets/sheet1.xml")));
    QString ref;
    Cell cell;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("c")) {
            ref = xml.attributes().value("r").toString();
            cell = Cell();
            cell.type = xml.attributes().hasAttribute("t") ? xml.attributes().value("t").toString()
                                                           : QStringLiteral("n");
            cell.style = xml.attributes().value("s").toInt();
        } else if (token == QXmlStreamReader::StartElement &&
                   (xml.name() == QLatin1String("v") || xml.name() == QLatin1String("t"))) {
            cell.value = xml.readElementText();
            if (cell.type == QLatin1String("s")) cell.value = shared.value(cell.value.toInt());
        } else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("c")) {
            cell.numberFormat = numberFormats.value(cell.style, QStringLiteral("General"));
            cells.insert(ref, cell);
        }
    }
    return cells;
}

inline bool isText(const Cell& c) {
    return c.type == QLatin1String("s") || c.type == QLatin1String("str") ||
           c.type == QLatin1String("inlineStr");
}

}  // namespace hxtest
