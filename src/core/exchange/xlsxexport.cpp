#include "core/exchange/xlsxexport.h"

#include <xlsxwriter.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/data/dataset.h"
#include "core/data/errors.h"

namespace hx {

namespace {

// A text cell holds at most this many characters.
constexpr int maxCellText = 32767;

QByteArray cellText(const QString& text) {
    QString t = text;
    if (t.size() > maxCellText) {
        int end = maxCellText;
        if (t.at(end - 1).isHighSurrogate()) --end;
        t.truncate(end);
    }
    return t.toUtf8();
}

// The file system's reason for a failed write, as the clerk can act on it, with the system's own words.
QString systemReason(int error) {
    QString reason;
    switch (error) {
        case EACCES:
        case EPERM:
            reason = QStringLiteral("没有写入权限");
            break;
        case ENOSPC:
            reason = QStringLiteral("磁盘空间不足");
            break;
        case EDQUOT:
            reason = QStringLiteral("超出磁盘配额");
            break;
        case EROFS:
            reason = QStringLiteral("磁盘是只读的");
            break;
        case EISDIR:
            reason = QStringLiteral("已有同名的文件夹");
            break;
        case ENOENT:
        case ENOTDIR:
            reason = QStringLiteral("路径不存在");
            break;
        case ENAMETOOLONG:
            reason = QStringLiteral("文件名太长");
            break;
        case EBUSY:
        case ETXTBSY:
            reason = QStringLiteral("文件正被其他程序使用");
            break;
        default:
            break;
    }
    const QString system = QString::fromLocal8Bit(std::strerror(error));
    return reason.isEmpty() ? system : reason + QStringLiteral("（") + system + QStringLiteral("）");
}

[[noreturn]] void cannotWrite(const QString& path, int error) {
    throw FileError(
        QStringLiteral("不能写入文件 %1：%2").arg(QDir::toNativeSeparators(path), systemReason(error)));
}

class Sheet {
  public:
    explicit Sheet(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        m_book = workbook_new(name.constData());
        if (!m_book) throw FileError(QStringLiteral("不能创建文件 %1").arg(path));
        m_sheet = workbook_add_worksheet(m_book, nullptr);
        m_dateFormat = workbook_add_format(m_book);
        if (!m_sheet || !m_dateFormat) throw FileError(QStringLiteral("不能创建工作表"));
        format_set_num_format(m_dateFormat, "yyyy-mm-dd");
    }
    ~Sheet() {
        // Closing writes the file; after a failure it is removed by the caller anyway.
        if (m_book) workbook_close(m_book);
    }
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    void text(lxw_row_t row, lxw_col_t col, const QString& value) {
        if (value.isEmpty()) return;
        check(worksheet_write_string(m_sheet, row, col, cellText(value).constData(), nullptr));
    }
    // A number shown with a number format ("0.00"); the general format for an empty one.
    void number(lxw_row_t row, lxw_col_t col, double value, const QString& numberFormat = QString()) {
        if (!std::isfinite(value)) return;
        check(worksheet_write_number(m_sheet, row, col, value, format(numberFormat)));
    }
    void boolean(lxw_row_t row, lxw_col_t col, bool value) {
        check(worksheet_write_boolean(m_sheet, row, col, value ? 1 : 0, nullptr));
    }
    void date(lxw_row_t row, lxw_col_t col, const QDate& value) {
        if (value.year() < 1900 || value.year() > 9999) {
            text(row, col, value.toString(Qt::ISODate));
            return;
        }
        lxw_datetime dt{value.year(), value.month(), value.day(), 0, 0, 0.0};
        check(worksheet_write_datetime(m_sheet, row, col, &dt, m_dateFormat));
    }
    void finish(const QString& path) {
        lxw_workbook* book = m_book;
        m_book = nullptr;
        errno = 0;
        const lxw_error e = workbook_close(book);
        const int error = errno;
        if (e == LXW_NO_ERROR) return;
        // The file is written only now: the system's reason, when there is one, says more than the
        // library's.
        if (error != 0) cannotWrite(path, error);
        throw FileError(QString::fromUtf8(lxw_strerror(e)));
    }

  private:
    lxw_format* format(const QString& numberFormat) {
        if (numberFormat.isEmpty()) return nullptr;
        lxw_format*& f = m_numberFormats[numberFormat];
        if (!f) {
            f = workbook_add_format(m_book);
            if (!f) throw FileError(QStringLiteral("不能创建工作表"));
            format_set_num_format(f, numberFormat.toUtf8().constData());
        }
        return f;
    }
    static void check(lxw_error e) {
        if (e != LXW_NO_ERROR) throw FileError(QString::fromUtf8(lxw_strerror(e)));
    }
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_dateFormat = nullptr;
    QHash<QString, lxw_format*> m_numberFormats;  // owned by the workbook
};

bool isNumberType(int typeId) {
    switch (typeId) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}

// One value in the cell type that fits it, a number with the number format the grid shows it in. A row
// being edited may still hold the text the user typed; it goes in converted when it converts, and as the
// text otherwise.
void writeValue(Sheet& sheet, lxw_row_t row, lxw_col_t col, const QVariant& stored, FieldType type,
                const QString& numberFormat) {
    if (!stored.isValid() || stored.isNull()) return;
    QVariant value = stored;
    if (value.typeId() == QMetaType::QString && type != FieldType::Text && type != FieldType::Unknown) {
        const auto converted = convertToFieldType(value, type);
        if (!converted) {
            sheet.text(row, col, value.toString());
            return;
        }
        value = *converted;
        if (value.isNull()) return;
    }
    if (value.userType() == qMetaTypeId<Money>()) {
        sheet.number(row, col, value.value<Money>().toDouble(), numberFormat);
        return;
    }
    switch (value.typeId()) {
        case QMetaType::Bool:
            sheet.boolean(row, col, value.toBool());
            return;
        case QMetaType::QDate:
            sheet.date(row, col, value.toDate());
            return;
        case QMetaType::QDateTime:
            sheet.date(row, col, value.toDateTime().date());
            return;
        default:
            break;
    }
    if (type == FieldType::Text || !isNumberType(value.typeId())) {
        sheet.text(row, col, value.toString());
        return;
    }
    sheet.number(row, col, value.toDouble(),
                 type == FieldType::Money || type == FieldType::Double ? numberFormat : QString());
}

// A name in the same directory that nothing else uses, so that the finished file can replace the target
// in one step.
QString temporaryNameBeside(const QFileInfo& target) {
    const QString base = target.absolutePath() + QStringLiteral("/.~") + target.fileName() +
                         QStringLiteral(".%1").arg(QCoreApplication::applicationPid());
    for (int n = 0;; ++n) {
        const QString name = base + QStringLiteral(".%1.tmp").arg(n);
        if (!QFileInfo::exists(name)) return name;
    }
}

}  // namespace

QString excelNumberFormat(const QString& displayFormat, FieldType type) {
    if (type != FieldType::Money && type != FieldType::Double) return QString();
    // The sign after the currency sign, as the grids show it: "¥-12.00".
    if (displayFormat == currencyFormat()) return QStringLiteral("\"¥\"#,##0.00;\"¥\"\\-#,##0.00");
    if (displayFormat.isEmpty()) return type == FieldType::Money ? QStringLiteral("0.00") : QString();
    // Digits, the point and the thousands comma mean the same in both; anything else is text beside the
    // number: the grids' "##0.0 %" shows the number itself before " %", not a hundredth of it.
    QString format;
    QString literal;
    for (const QChar c : displayFormat) {
        if (QStringLiteral("0#.,").contains(c)) {
            if (!literal.isEmpty()) format += QLatin1Char('"') + literal + QLatin1Char('"');
            literal.clear();
            format += c;
        } else if (c != QLatin1Char('"')) {
            literal += c;
        }
    }
    if (!literal.isEmpty()) format += QLatin1Char('"') + literal + QLatin1Char('"');
    return format;
}

QString exportFileFilter() {
    return QStringLiteral("电子表格|*.xlsx");
}

QString exportFailedMessage() {
    return QStringLiteral("转移数据至Excel出错, 请确认Excel是否安装？");
}

QString exportNoDataMessage() {
    return QStringLiteral("没有数据可供导出！");
}

void writeXlsx(DataSet& data, const QVector<ExportColumn>& columns, const QString& path) {
    DataSet* const ds = &data;
    if (!ds->isOpen()) throw Error(exportNoDataMessage());
    if (columns.size() > LXW_COL_MAX) throw FileError(QStringLiteral("列数超出电子表格的容量"));
    if (qint64(ds->recordCount()) + 1 > LXW_ROW_MAX)
        throw FileError(QStringLiteral("行数超出电子表格的容量"));

    const QFileInfo target(path);
    if (!QFileInfo(target.absolutePath()).isDir())
        throw FileError(QStringLiteral("文件夹 %1 不存在").arg(target.absolutePath()));
    const QString temporary = temporaryNameBeside(target);
    // Whether a file can be made there at all is asked first, with the file system's reason when not.
    if (std::FILE* probe = std::fopen(QFile::encodeName(temporary).constData(), "wb"))
        std::fclose(probe);
    else
        cannotWrite(path, errno);
    try {
        Sheet sheet(temporary);
        QStringList numberFormats;
        for (int c = 0; c < columns.size(); ++c) {
            sheet.text(0, lxw_col_t(c), columns[c].title);
            const int f = columns[c].field;
            numberFormats << (f >= 0 && f < ds->fieldCount()
                                  ? excelNumberFormat(ds->field(f).displayFormat, ds->field(f).type)
                                  : QString());
        }
        const int rows = ds->recordCount();
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns.size(); ++c) {
                const int f = columns[c].field;
                if (f < 0 || f >= ds->fieldCount()) continue;
                if (columns[c].words.size() == 2) {
                    const QVariant flag = ds->valueAt(r, f);
                    if (!flag.isNull())
                        sheet.text(lxw_row_t(r + 1), lxw_col_t(c),
                                   columns[c].words.at(flag.toBool() ? 1 : 0));
                    continue;
                }
                if (ds->isShownAsText(f)) {
                    const QString shown = ds->textAt(r, f);
                    if (!shown.isEmpty()) sheet.text(lxw_row_t(r + 1), lxw_col_t(c), shown);
                    continue;
                }
                writeValue(sheet, lxw_row_t(r + 1), lxw_col_t(c), ds->valueAt(r, f), ds->field(f).type,
                           numberFormats[c]);
            }
        }
        sheet.finish(path);
        if (std::rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
            cannotWrite(path, errno);
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
}

}  // namespace hx
