#include "core/exchange/sheetreader.h"

#include <iconv.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/data/errors.h"

namespace hx {

namespace {

[[noreturn]] void notASpreadsheet(const QString& path, const QString& cause) {
    const bool closed = cause.endsWith(QChar(0x3002));
    throw FileError(
        QStringLiteral("不能读取文件 %1：%2%3")
            .arg(QDir::toNativeSeparators(path), cause, closed ? QString() : QStringLiteral("。")));
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

// ---- .xlsx

// What a workbook may hold before it is taken for damaged or built to exhaust memory (a "zip bomb"): the
// inflated size of a part (a sheet of a million rows inflates to about 200 MB), the longest run of
// characters between two tags (a cell holds at most 32,767 characters, each at most ten written), the
// memory of its shared texts, its cell formats and its sheets.
constexpr qint64 maxPartBytes = 200 * 1024 * 1024;
constexpr qint64 maxSheetBytes = 1024 * 1024 * 1024;
constexpr qint64 maxRunBytes = 4 * 1024 * 1024;
constexpr qint64 maxSharedTextBytes = 64 * 1024 * 1024;
constexpr int maxStyles = 65536;
constexpr int maxSheets = 4096;
// How many XML tokens are read between two calls of the progress callback.
constexpr unsigned tokensPerProgress = 1u << 15;

// One member of a zip file, read as it is uncompressed, and no further than `limit` bytes nor than a run
// of maxRunBytes without a tag: the XML reader would hold such a run whole.
class ZipMember : public QIODevice {
  public:
    ZipMember(zip_t* archive, const QString& name, qint64 limit) : m_limit(limit) {
        const QByteArray n = name.toUtf8();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(archive, n.constData(), 0, &st) != 0) return;
        if (st.valid & ZIP_STAT_SIZE) m_size = qint64(qMin<zip_uint64_t>(st.size, zip_uint64_t(limit) + 1));
        // The size the directory states is believed only to refuse early; the bytes are counted as read.
        if (m_size > limit) {
            m_tooLarge = true;
            return;
        }
        m_file = zip_fopen(archive, n.constData(), 0);
        if (m_file) QIODevice::open(QIODevice::ReadOnly);
    }
    ~ZipMember() override {
        if (m_file) zip_fclose(m_file);
    }
    ZipMember(const ZipMember&) = delete;
    ZipMember& operator=(const ZipMember&) = delete;
    bool isSequential() const override { return true; }
    qint64 uncompressedSize() const { return m_size; }
    qint64 consumed() const { return m_read; }
    bool tooLarge() const { return m_tooLarge; }
    bool exists() const { return m_file || m_tooLarge; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (!m_file || m_tooLarge) return -1;
        const zip_int64_t n = zip_fread(m_file, data, zip_uint64_t(qMin(maxSize, m_limit + 1 - m_read)));
        if (n < 0) return -1;
        m_read += n;
        const char* end = data + n;
        const char* lastTag = end;
        for (const char* c = end; c != data;)
            if (*--c == '<') {
                lastTag = c;
                break;
            }
        m_run = lastTag == end ? m_run + n : qint64(end - lastTag - 1);
        if (m_read > m_limit || m_run > maxRunBytes) {
            m_tooLarge = true;
            return -1;
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    zip_file_t* m_file = nullptr;
    qint64 m_limit;
    qint64 m_size = 0;
    qint64 m_read = 0;
    qint64 m_run = 0;
    bool m_tooLarge = false;
};

class XlsxReader : public SheetReader {
  public:
    XlsxReader(const QString& path, int sheetIndex, const ReadProgress& progress)
        : m_path(path), m_progress(progress) {
        int error = 0;
        m_zip.reset(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
        if (!m_zip) notASpreadsheet(path, QStringLiteral("不是 Excel 工作簿（.xlsx）"));
        for (const char* part :
             {"xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/styles.xml", "xl/sharedStrings.xml"})
            m_total += ZipMember(m_zip.get(), QString::fromLatin1(part), maxPartBytes).uncompressedSize();
        m_sheetName = readWorkbook(sheetIndex);
        m_sheet = std::make_unique<ZipMember>(m_zip.get(), m_sheetName, maxSheetBytes);
        if (m_sheet->tooLarge()) tooLarge(m_sheetName);
        if (!m_sheet->isOpen()) notASpreadsheet(path, QStringLiteral("工作簿中没有工作表"));
        m_total += m_sheet->uncompressedSize();
        readStyles();
        readSharedStrings();
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
            tick();
            if (m_xml.readNext() == QXmlStreamReader::StartElement && m_xml.name() == QLatin1String("row")) {
                readRow(row);
                if (!row.cells.isEmpty()) return true;
            }
        }
        checkEnd(*m_sheet, m_xml, m_sheetName);
        return false;
    }

    double progress() const override {
        const qint64 read =
            m_done + (m_current ? m_current->consumed() : 0) + (m_sheet ? m_sheet->consumed() : 0);
        return qBound(0.0, double(read) / double(qMax<qint64>(1, m_total)), 1.0);
    }
    QDate dateOfSerial(double serial) const override { return serialDate(serial, m_date1904); }
    QStringList sheetNames() const override { return m_sheetNames; }

  private:
    [[noreturn]] void tooLarge(const QString& part) const {
        throw FileError(QStringLiteral("文件过大或已损坏，没有导入（%1 中的 %2 超出了工作簿能容纳的大小）")
                            .arg(QDir::toNativeSeparators(m_path), part));
    }

    // Counts a token read; now and then tells how far the reading is and stops it when asked to.
    // `weight`: how many tokens' worth of work was done (a row far to the right is made of many cells).
    void tick(unsigned weight = 1) {
        const unsigned before = m_tokens;
        m_tokens += weight;
        if (before / tokensPerProgress != m_tokens / tokensPerProgress) report();
    }
    void report() {
        if (m_progress && !m_progress(progress())) throw ReadCancelled{};
    }

    // After the last token of a part: a part cut short or refused by its bounds, or damaged XML, stops the
    // reading with the part and the line named.
    void checkEnd(const ZipMember& part, const QXmlStreamReader& xml, const QString& name) const {
        if (part.tooLarge()) tooLarge(name);
        if (!xml.hasError()) return;
        if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            notASpreadsheet(m_path,
                            QStringLiteral("%1 不完整，在第 %2 行中断").arg(name).arg(xml.lineNumber()));
        notASpreadsheet(m_path, QStringLiteral("%1 第 %2 行第 %3 列已损坏")
                                    .arg(name)
                                    .arg(xml.lineNumber())
                                    .arg(xml.columnNumber()));
    }

    // Reads the part `name` token by token, handing each to `onToken(xml, token)`; false when the workbook
    // has no such part.
    template <class OnToken>
    bool walk(const QString& name, bool required, OnToken&& onToken) {
        ZipMember part(m_zip.get(), name, maxPartBytes);
        if (part.tooLarge()) tooLarge(name);
        if (!part.isOpen()) {
            if (required) notASpreadsheet(m_path, QStringLiteral("不是 Excel 工作簿（缺少 %1）").arg(name));
            return false;
        }
        struct Done {
            XlsxReader& reader;
            ~Done() {
                reader.m_done += reader.m_current->consumed();
                reader.m_current = nullptr;
            }
        } done{*this};
        m_current = &part;
        report();
        QXmlStreamReader xml(&part);
        while (!xml.atEnd()) {
            tick();
            onToken(xml, xml.readNext());
        }
        checkEnd(part, xml, name);
        report();
        return true;
    }

    // The names of the sheets, the part of the chosen one and the date system.
    QString readWorkbook(int sheetIndex) {
        QStringList ids;
        walk(QStringLiteral("xl/workbook.xml"), true,
             [&](QXmlStreamReader& book, QXmlStreamReader::TokenType t) {
                 if (t != QXmlStreamReader::StartElement) return;
                 if (book.name() == QLatin1String("workbookPr")) {
                     const auto v = book.attributes().value(QLatin1String("date1904"));
                     m_date1904 = v == QLatin1String("1") || v == QLatin1String("true");
                 } else if (book.name() == QLatin1String("sheet")) {
                     if (ids.size() >= maxSheets) tooLarge(QStringLiteral("xl/workbook.xml"));
                     QString id;
                     for (const auto& a : book.attributes())
                         if (a.name() == QLatin1String("id")) id = a.value().toString();
                     m_sheetNames << book.attributes().value(QLatin1String("name")).toString();
                     ids << id;
                 }
             });
        if (sheetIndex < 0 || (sheetIndex > 0 && sheetIndex >= ids.size()))
            notASpreadsheet(m_path, QStringLiteral("工作簿中没有第 %1 个工作表").arg(sheetIndex + 1));
        const QString id = ids.value(sheetIndex);
        // A workbook without relations keeps its first sheet in the usual place; any other sheet must be
        // found, never stood in for by the first.
        QString target = sheetIndex == 0 ? QStringLiteral("worksheets/sheet1.xml") : QString();
        if (!id.isEmpty())
            walk(QStringLiteral("xl/_rels/workbook.xml.rels"), false,
                 [&](QXmlStreamReader& rels, QXmlStreamReader::TokenType t) {
                     if (t == QXmlStreamReader::StartElement &&
                         rels.name() == QLatin1String("Relationship") &&
                         rels.attributes().value(QLatin1String("Id")) == id)
                         target = rels.attributes().value(QLatin1String("Target")).toString();
                 });
        if (target.isEmpty())
            notASpreadsheet(m_path, QStringLiteral("找不到工作表“%1”").arg(m_sheetNames.value(sheetIndex)));
        if (target.startsWith(QLatin1Char('/'))) return target.mid(1);
        return QStringLiteral("xl/") + target;
    }

    void readStyles() {
        const QString name = QStringLiteral("xl/styles.xml");
        QHash<int, QString> codes;
        bool inCellXfs = false;
        walk(name, false, [&](QXmlStreamReader& styles, QXmlStreamReader::TokenType token) {
            if (token == QXmlStreamReader::EndElement && styles.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            if (token != QXmlStreamReader::StartElement) return;
            const auto a = styles.attributes();
            if (styles.name() == QLatin1String("numFmt")) {
                if (codes.size() >= maxStyles) tooLarge(name);
                codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                             a.value(QLatin1String("formatCode")).toString());
            } else if (styles.name() == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (inCellXfs && styles.name() == QLatin1String("xf")) {
                if (m_styles.size() >= maxStyles) tooLarge(name);
                const int id = a.value(QLatin1String("numFmtId")).toInt();
                const QString code = codes.value(id);
                m_styles.append({isDateFormat(id, code), code});
            }
        });
    }

    // The shared texts are held one after the other in one string: a text of its own for each would take
    // some 50 bytes more, and a workbook may hold millions.
    void readSharedStrings() {
        const QString name = QStringLiteral("xl/sharedStrings.xml");
        m_stringStarts.append(0);
        walk(name, false, [&](QXmlStreamReader& xml, QXmlStreamReader::TokenType t) {
            if (t != QXmlStreamReader::StartElement || xml.name() != QLatin1String("si")) return;
            m_strings += elementText(xml);
            if (m_strings.size() > std::numeric_limits<qint32>::max() / 2 ||
                qint64(m_strings.size()) * 2 + qint64(m_stringStarts.size()) * 4 > maxSharedTextBytes)
                tooLarge(name);
            m_stringStarts.append(qint32(m_strings.size()));
        });
    }

    QString sharedString(int index) const {
        if (index < 0 || index + 1 >= m_stringStarts.size())
            notASpreadsheet(m_path, QStringLiteral("工作表引用了不存在的共享文本"));
        return m_strings.mid(m_stringStarts.at(index),
                             m_stringStarts.at(index + 1) - m_stringStarts.at(index));
    }

    // The text of the element the reader is on, its rich-text runs joined; phonetic guides left out.
    QString elementText(QXmlStreamReader& xml) {
        QString text;
        int depth = 1;
        while (depth > 0 && !xml.atEnd()) {
            tick();
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

    void readRow(SheetRow& row) {
        row.cells.clear();
        const auto r = m_xml.attributes().value(QLatin1String("r"));
        row.line = r.isEmpty() ? m_lastLine + 1 : r.toInt();
        m_lastLine = row.line;
        int nextColumn = 0;
        while (!m_xml.atEnd()) {
            tick();
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
            if (row.cells.size() <= column) {
                tick(unsigned(column + 1 - row.cells.size()) / 32);
                row.cells.resize(column + 1);
            }
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
            tick();
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
            cell.kind = SheetCell::Kind::Text;
            cell.text = sharedString(ok ? index : -1);
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
    ReadProgress m_progress;
    unsigned m_tokens = 0;
    // The inflated bytes of the parts read before the sheet, and of all parts read and to be read.
    qint64 m_done = 0;
    qint64 m_total = 0;
    const ZipMember* m_current = nullptr;  // the part being read before the sheet
    QStringList m_sheetNames;
    // Closed also when the constructor stops at a damaged or foreign workbook.
    struct ZipDiscard {
        void operator()(zip_t* archive) const { zip_discard(archive); }
    };
    std::unique_ptr<zip_t, ZipDiscard> m_zip;
    std::unique_ptr<ZipMember> m_sheet;
    QString m_sheetName;
    QXmlStreamReader m_xml;
    bool m_date1904 = false;
    QVector<Style> m_styles;
    // The shared texts one after the other; text i runs from m_stringStarts[i] to m_stringStarts[i + 1].
    QString m_strings;
    QVector<qint32> m_stringStarts;
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
        if (!file.open(QIODevice::ReadOnly)) notASpreadsheet(path, QStringLiteral("无法打开文件"));
        if (file.size() > maxPartBytes)
            throw FileError(
                QStringLiteral("文件过大或已损坏，没有导入（%1）").arg(QDir::toNativeSeparators(path)));
        try {
            m_text = decodeCsvBytes(file.readAll());
        } catch (const FileError& e) {
            notASpreadsheet(path, e.message());
        }
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

std::unique_ptr<SheetReader> SheetReader::open(const QString& path, int sheet, const ReadProgress& progress) {
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
    return std::make_unique<XlsxReader>(path, sheet, progress);
}

QString decodeCsvBytes(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    // Lines of Chinese text in GBK are almost never valid UTF-8 and those in UTF-8 never valid GBK that
    // reads as Chinese: what most lines beyond plain ASCII are tells the file's encoding.
    int utf8Lines = 0;
    int otherLines = 0;
    int firstOther = 0;
    int line = 0;
    for (qsizetype start = 0; start < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) end = bytes.size();
        const QByteArrayView view(bytes.constData() + start, end - start);
        start = end + 1;
        if (std::all_of(view.begin(), view.end(), [](char c) { return uchar(c) < 0x80; })) continue;
        QStringDecoder check(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = check.decode(view);
        if (!check.hasError()) {
            ++utf8Lines;
        } else if (++otherLines == 1) {
            firstOther = line + 1;
        }
    }
    if (utf8Lines > otherLines)
        throw FileError(
            QStringLiteral(
                "文件是 UTF-8 编码，但第 %1 行不是（共 %2 行不是 UTF-8），没有导入。请改正这些行，或把整个"
                "文件另存为一种编码后再导入")
                .arg(firstOther)
                .arg(otherLines));
    return fromGbk(bytes);
}

}  // namespace hx
