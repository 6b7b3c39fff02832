#include "core/exchange/sheetreader.h"

#include <iconv.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/data/errors.h"

namespace hx {

namespace {

[[noreturn]] void notASpreadsheet(const QString& path, const QString& cause) {
    throw FileError(QStringLiteral("不能读取文件 %1：%2").arg(QDir::toNativeSeparators(path), cause));
}

// ---- the date system of a sheet

QDate serialDate(double serial, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return {};
    const qint64 days = qint64(std::floor(serial));
    if (date1904) return QDate(1904, 1, 1).addDays(days);
    // The 1900 system counts a 29 February 1900 that never was: day 60 is no day, the days before it are
    // one day later than a plain count from 1899-12-30 gives.
    if (days == 0 || days == 60) return {};
    return days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
}

// Whether a number format shows a day: the built-in date formats (those of the Chinese settings
// included) and the written ones with a year or a day in them outside quotes and brackets.
bool isDateFormat(int id, const QString& code) {
    if ((id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 36) || (id >= 50 && id <= 58)) return true;
    if (code.isEmpty()) return false;
    QString plain;
    bool quoted = false;
    int bracket = 0;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i;  // an escaped or padding character
        } else if (c == QLatin1Char('[')) {
            ++bracket;
        } else if (c == QLatin1Char(']')) {
            if (bracket > 0) --bracket;
        } else if (bracket == 0) {
            plain += c.toLower();
        }
    }
    plain.remove(QLatin1String("general"));
    return plain.contains(QLatin1Char('y')) || plain.contains(QLatin1Char('d'));
}

int columnOfReference(QStringView ref) {
    int column = 0;
    int i = 0;
    for (; i < ref.size() && ref.at(i).isLetter(); ++i) {
        const ushort u = ref.at(i).toUpper().unicode();
        if (u < 'A' || u > 'Z') return -1;
        column = column * 26 + (u - 'A' + 1);
        if (column > 16384) return -1;
    }
    return i == 0 ? -1 : column - 1;
}

// The text of the element the reader is on, its rich-text runs joined; phonetic guides left out.
QString elementText(QXmlStreamReader& xml) {
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == QLatin1String("rPh"))
                xml.skipCurrentElement();
            else if (xml.name() == QLatin1String("t"))
                text += xml.readElementText();
            else
                ++depth;
        }
    }
    return text;
}

// ---- .xlsx

// One member of a zip file, read as it is uncompressed.
class ZipMember : public QIODevice {
  public:
    ZipMember(zip_t* archive, const QString& name) {
        const QByteArray n = name.toUtf8();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(archive, n.constData(), 0, &st) != 0) return;
        if (st.valid & ZIP_STAT_SIZE) m_size = qint64(st.size);
        m_file = zip_fopen(archive, n.constData(), 0);
        if (m_file) QIODevice::open(QIODevice::ReadOnly);
    }
    ~ZipMember() override {
        if (m_file) zip_fclose(m_file);
    }
    bool isSequential() const override { return true; }
    qint64 uncompressedSize() const { return m_size; }
    qint64 consumed() const { return m_read; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (!m_file) return -1;
        const zip_int64_t n = zip_fread(m_file, data, zip_uint64_t(maxSize));
        if (n < 0) return -1;
        m_read += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    zip_file_t* m_file = nullptr;
    qint64 m_size = 0;
    qint64 m_read = 0;
};

class XlsxReader : public SheetReader {
  public:
    XlsxReader(const QString& path, int sheetIndex) : m_path(path) {
        int error = 0;
        m_zip.reset(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
        if (!m_zip) notASpreadsheet(path, QStringLiteral("不是 Excel 工作簿（.xlsx）"));
        const QString sheet = readWorkbook(sheetIndex);
        readStyles();
        readSharedStrings();
        m_sheet = std::make_unique<ZipMember>(m_zip.get(), sheet);
        if (!m_sheet->isOpen()) notASpreadsheet(path, QStringLiteral("工作簿中没有工作表"));
        m_size = qMax<qint64>(1, m_sheet->uncompressedSize());
        m_xml.setDevice(m_sheet.get());
    }
    ~XlsxReader() override {
        m_xml.setDevice(nullptr);
        m_sheet.reset();
    }
    XlsxReader(const XlsxReader&) = delete;
    XlsxReader& operator=(const XlsxReader&) = delete;

    bool next(SheetRow& row) override {
        while (!m_xml.atEnd()) {
            if (m_xml.readNext() == QXmlStreamReader::StartElement && m_xml.name() == QLatin1String("row")) {
                readRow(row);
                if (!row.cells.isEmpty()) return true;
            }
        }
        if (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            notASpreadsheet(m_path, QStringLiteral("工作表已损坏（%1）").arg(m_xml.errorString()));
        if (m_xml.hasError()) notASpreadsheet(m_path, QStringLiteral("工作表不完整"));
        return false;
    }

    double progress() const override {
        return qBound(0.0, double(m_sheet->consumed()) / double(m_size), 1.0);
    }
    QDate dateOfSerial(double serial) const override { return serialDate(serial, m_date1904); }
    QStringList sheetNames() const override { return m_sheetNames; }

  private:
    QByteArray entry(const QString& name, bool required) {
        ZipMember file(m_zip.get(), name);
        if (!file.isOpen()) {
            if (required) notASpreadsheet(m_path, QStringLiteral("不是 Excel 工作簿（缺少 %1）").arg(name));
            return {};
        }
        return file.readAll();
    }

    // The names of the sheets, the part of the chosen one and the date system.
    QString readWorkbook(int sheetIndex) {
        QXmlStreamReader book(entry(QStringLiteral("xl/workbook.xml"), true));
        QStringList ids;
        while (!book.atEnd()) {
            if (book.readNext() != QXmlStreamReader::StartElement) continue;
            if (book.name() == QLatin1String("workbookPr")) {
                const auto v = book.attributes().value(QLatin1String("date1904"));
                m_date1904 = v == QLatin1String("1") || v == QLatin1String("true");
            } else if (book.name() == QLatin1String("sheet")) {
                QString id;
                for (const auto& a : book.attributes())
                    if (a.name() == QLatin1String("id")) id = a.value().toString();
                m_sheetNames << book.attributes().value(QLatin1String("name")).toString();
                ids << id;
            }
        }
        if (sheetIndex < 0 || (sheetIndex > 0 && sheetIndex >= ids.size()))
            notASpreadsheet(m_path, QStringLiteral("工作簿中没有第 %1 个工作表").arg(sheetIndex + 1));
        const QString id = ids.value(sheetIndex);
        // A workbook without relations keeps its first sheet in the usual place; any other sheet must be
        // found, never stood in for by the first.
        QString target = sheetIndex == 0 ? QStringLiteral("worksheets/sheet1.xml") : QString();
        QXmlStreamReader rels(entry(QStringLiteral("xl/_rels/workbook.xml.rels"), false));
        while (!id.isEmpty() && !rels.atEnd()) {
            if (rels.readNext() == QXmlStreamReader::StartElement &&
                rels.name() == QLatin1String("Relationship") &&
                rels.attributes().value(QLatin1String("Id")) == id)
                target = rels.attributes().value(QLatin1String("Target")).toString();
        }
        if (target.isEmpty())
            notASpreadsheet(m_path, QStringLiteral("找不到工作表“%1”").arg(m_sheetNames.value(sheetIndex)));
        if (target.startsWith(QLatin1Char('/'))) return target.mid(1);
        return QStringLiteral("xl/") + target;
    }

    void readStyles() {
        QXmlStreamReader styles(entry(QStringLiteral("xl/styles.xml"), false));
        QHash<int, QString> codes;
        bool inCellXfs = false;
        while (!styles.atEnd()) {
            const auto token = styles.readNext();
            if (token == QXmlStreamReader::EndElement && styles.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            if (token != QXmlStreamReader::StartElement) continue;
            const auto a = styles.attributes();
            if (styles.name() == QLatin1String("numFmt")) {
                codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                             a.value(QLatin1String("formatCode")).toString());
            } else if (styles.name() == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && styles.name() == QLatin1String("xf")) {
                const int id = a.value(QLatin1String("numFmtId")).toInt();
                const QString code = codes.value(id);
                m_styles.append({isDateFormat(id, code), code});
            }
        }
    }

    void readSharedStrings() {
        ZipMember file(m_zip.get(), QStringLiteral("xl/sharedStrings.xml"));
        if (!file.isOpen()) return;
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("si"))
                m_strings.append(elementText(xml));
        }
        if (xml.hasError())
            notASpreadsheet(m_path, QStringLiteral("共享文本已损坏（%1）").arg(xml.errorString()));
    }

    void readRow(SheetRow& row) {
        row.cells.clear();
        const auto r = m_xml.attributes().value(QLatin1String("r"));
        row.line = r.isEmpty() ? m_lastLine + 1 : r.toInt();
        m_lastLine = row.line;
        int nextColumn = 0;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == QLatin1String("row")) break;
            if (token != QXmlStreamReader::StartElement || m_xml.name() != QLatin1String("c")) continue;
            const auto a = m_xml.attributes();
            const auto ref = a.value(QLatin1String("r"));
            int column = ref.isEmpty() ? nextColumn : columnOfReference(ref);
            if (column < 0) column = nextColumn;
            nextColumn = column + 1;
            const QString type = a.value(QLatin1String("t")).toString();
            const int style = a.value(QLatin1String("s")).toInt();
            SheetCell cell = readCell(type, style);
            if (cell.kind == SheetCell::Kind::Empty) continue;
            if (row.cells.size() <= column) row.cells.resize(column + 1);
            row.cells[column] = std::move(cell);
        }
        // Trailing empty cells say nothing.
        while (!row.cells.isEmpty() && row.cells.constLast().kind == SheetCell::Kind::Empty)
            row.cells.removeLast();
    }

    SheetCell readCell(const QString& type, int style) {
        SheetCell cell;
        QString value;
        bool hasValue = false;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == QLatin1String("c")) break;
            if (token != QXmlStreamReader::StartElement) continue;
            if (m_xml.name() == QLatin1String("v")) {
                value = m_xml.readElementText();
                hasValue = true;
            } else if (m_xml.name() == QLatin1String("is")) {
                value = elementText(m_xml);
                hasValue = true;
            } else {
                m_xml.skipCurrentElement();  // a formula: its result is in <v>
            }
        }
        if (!hasValue) return cell;
        if (type == QLatin1String("s")) {
            bool ok = false;
            const int index = value.toInt(&ok);
            if (!ok || index < 0 || index >= m_strings.size())
                notASpreadsheet(m_path, QStringLiteral("工作表引用了不存在的共享文本"));
            cell.kind = SheetCell::Kind::Text;
            cell.text = m_strings.at(index);
        } else if (type == QLatin1String("inlineStr") || type == QLatin1String("str")) {
            cell.kind = SheetCell::Kind::Text;
            cell.text = value;
        } else if (type == QLatin1String("b")) {
            cell.kind = SheetCell::Kind::Boolean;
            cell.text = value.trimmed() == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0");
        } else if (type == QLatin1String("e")) {
            cell.kind = SheetCell::Kind::Error;
            cell.text = value;
        } else if (type == QLatin1String("d")) {
            cell.kind = SheetCell::Kind::Date;
            cell.date = QDate::fromString(value.left(10), Qt::ISODate);
            cell.text = value;
            if (!cell.date.isValid()) cell.kind = SheetCell::Kind::Text;
        } else {
            cell.kind = SheetCell::Kind::Number;
            cell.text = value.trimmed();
            bool ok = false;
            const double number = cell.text.toDouble(&ok);
            if (!ok) {
                cell.kind = SheetCell::Kind::Text;
                return cell;
            }
            cell.date = serialDate(number, m_date1904);
            if (style >= 0 && style < m_styles.size()) {
                cell.format = m_styles.at(style).code;
                if (m_styles.at(style).date && cell.date.isValid()) {
                    cell.kind = SheetCell::Kind::Date;
                    cell.text = cell.date.toString(Qt::ISODate);
                }
            }
        }
        return cell;
    }

    struct Style {
        bool date = false;
        QString code;
    };

    QString m_path;
    QStringList m_sheetNames;
    // Closed also when the constructor stops at a damaged or foreign workbook.
    struct ZipDiscard {
        void operator()(zip_t* archive) const { zip_discard(archive); }
    };
    std::unique_ptr<zip_t, ZipDiscard> m_zip;
    std::unique_ptr<ZipMember> m_sheet;
    QXmlStreamReader m_xml;
    qint64 m_size = 1;
    bool m_date1904 = false;
    QVector<Style> m_styles;
    QStringList m_strings;
    int m_lastLine = 0;
};

// ---- .csv

QString fromGbk(const QByteArray& bytes) {
    iconv_t cd = iconv_open("UTF-16LE", "GB18030");
    if (cd == iconv_t(-1)) return QString::fromLocal8Bit(bytes);
    QString out;
    out.resize(bytes.size() + 16);  // GBK takes one or two bytes for each UTF-16 unit
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* target = reinterpret_cast<char*>(out.data());
    size_t outLeft = size_t(out.size()) * 2;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &target, &outLeft) != size_t(-1)) break;
        if (errno == EILSEQ || errno == EINVAL) {
            // A byte no character starts with: shown as the replacement character.
            ++in;
            --inLeft;
            if (outLeft < 2) break;
            const char16_t replacement = 0xFFFD;
            std::memcpy(target, &replacement, 2);
            target += 2;
            outLeft -= 2;
        } else {
            break;
        }
    }
    iconv_close(cd);
    out.resize(int((target - reinterpret_cast<char*>(out.data())) / 2));
    return out;
}

class CsvReader : public SheetReader {
  public:
    explicit CsvReader(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) notASpreadsheet(path, file.errorString());
        m_text = decodeCsvBytes(file.readAll());
        m_separator = guessSeparator();
    }

    bool next(SheetRow& row) override {
        while (m_pos < m_text.size()) {
            row.cells.clear();
            row.line = ++m_line;
            readRecord(row);
            while (!row.cells.isEmpty() && row.cells.constLast().isEmpty()) row.cells.removeLast();
            if (!row.cells.isEmpty()) return true;
        }
        return false;
    }

    double progress() const override { return m_text.isEmpty() ? 1.0 : double(m_pos) / m_text.size(); }

  private:
    // A comma unless the first line holds none but tabs or semicolons (a list saved by some programs).
    QChar guessSeparator() const {
        const int end = m_text.indexOf(QLatin1Char('\n'));
        const QStringView first = QStringView(m_text).left(end < 0 ? m_text.size() : end);
        if (first.contains(QLatin1Char(','))) return QLatin1Char(',');
        if (first.contains(QLatin1Char('\t'))) return QLatin1Char('\t');
        if (first.contains(QLatin1Char(';'))) return QLatin1Char(';');
        return QLatin1Char(',');
    }

    void readRecord(SheetRow& row) {
        const int n = m_text.size();
        QString field;
        bool quoted = false;
        bool wasQuoted = false;
        auto finish = [&] {
            SheetCell cell;
            if (!field.isEmpty() || wasQuoted) {
                cell.kind = SheetCell::Kind::Text;
                cell.text = field;
            }
            row.cells.append(cell);
            field.clear();
            wasQuoted = false;
        };
        while (m_pos < n) {
            const QChar c = m_text.at(m_pos++);
            if (quoted) {
                if (c == QLatin1Char('"')) {
                    if (m_pos < n && m_text.at(m_pos) == QLatin1Char('"')) {
                        field += c;
                        ++m_pos;
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == QLatin1Char('\n')) ++m_line;
                    field += c;
                }
            } else if (c == QLatin1Char('"') && field.isEmpty()) {
                quoted = wasQuoted = true;
            } else if (c == m_separator) {
                finish();
            } else if (c == QLatin1Char('\n')) {
                break;
            } else if (c != QLatin1Char('\r')) {
                field += c;
            }
        }
        finish();
    }

    QString m_text;
    QChar m_separator;
    int m_pos = 0;
    int m_line = 0;
};

}  // namespace

SheetReader::~SheetReader() = default;

QDate SheetReader::dateOfSerial(double serial) const {
    return serialDate(serial, false);
}

QStringList SheetReader::sheetNames() const {
    return {};
}

QString SheetReader::fileFilter() {
    return QStringLiteral("电子表格|*.xlsx;*.csv");
}

std::unique_ptr<SheetReader> SheetReader::open(const QString& path, int sheet) {
    const QFileInfo info(path);
    if (!info.isFile()) notASpreadsheet(path, QStringLiteral("文件不存在"));
    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("csv") || suffix == QLatin1String("txt")) {
        if (sheet != 0) notASpreadsheet(path, QStringLiteral("文本文件只有一个工作表"));
        return std::make_unique<CsvReader>(path);
    }
    if (suffix == QLatin1String("xls"))
        notASpreadsheet(
            path, QStringLiteral("这是旧版 Excel 文件（.xls），请在 Excel 或 WPS 中另存为 .xlsx 后再导入"));
    return std::make_unique<XlsxReader>(path, sheet);
}

QString decodeCsvBytes(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return fromGbk(bytes);
}

}  // namespace hx
