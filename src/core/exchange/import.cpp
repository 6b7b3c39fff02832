#include "core/exchange/import.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_set>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/values.h"
#include "core/payroll/fixeditems.h"
#include "core/piecework/jobtotals.h"

namespace hx {

namespace {

// Field positions of each target.
enum StaffField { sCode, sName, sGroup, sLevelSalary, sSalaryDay, sState, sFirstItem };
enum JobField { jCode, jDescription, jStyle, jUnitPrice, jState };
constexpr int fixedItems = 7;  // A02 to A08
enum PieceField { pDate, pWorker, pProcess, pQty };
enum BundleField { bNumber, bColor, bSize, bPieces };
// The highest bundle number a sheet may give.
constexpr qint64 maxBundleNo = 999999;

const QDate dayZero(2000, 1, 1);

// How many rows at the top of a sheet may hold its column titles.
constexpr size_t titleRowsLooked = 10;

QString normalizedTitle(const QString& title) {
    QString t = title.trimmed();
    t.remove(QLatin1Char(' '));
    t.remove(QChar(0x3000));
    return t;
}

// Characters as the database counts them (a character outside the basic plane is one).
int characterCount(const QString& text) {
    int n = text.size();
    for (const QChar c : text)
        if (c.isLowSurrogate()) --n;
    return n;
}

// The position (counted as characterCount counts) of the first character no text may hold: a control
// character other than a tab (a NUL, a line break inside a work number) or a byte order mark, which the
// reader drops only where it marks the file's encoding. Such characters are invisible on screen and in
// print, so that a stored "赵\0六" would look like 赵六 and yet never be found as 赵六. 0 when there is none.
int invisibleCharacterAt(const QString& text) {
    int position = 0;
    for (const QChar c : text) {
        if (!c.isLowSurrogate()) ++position;
        if ((c.category() == QChar::Other_Control && c != QLatin1Char('\t')) || c == QChar(0xFEFF))
            return position;
    }
    return 0;
}

// Why a row is refused; thrown inside the check of one row.
struct Refusal {
    QString reason;
};

[[noreturn]] void refuse(const QString& reason) {
    throw Refusal{reason};
}

class RowChecker {
  public:
    RowChecker(const SheetReader& reader, const QVector<ImportField>& fields, const QVector<int>& mapping,
               const SheetRow& row)
        : m_reader(reader), m_fields(fields), m_mapping(mapping), m_row(row) {}

    const SheetCell* cell(int field) const {
        const int column = m_mapping.value(field, -1);
        if (column < 0 || column >= m_row.cells.size()) return nullptr;
        const SheetCell& c = m_row.cells.at(column);
        return c.isEmpty() ? nullptr : &c;
    }
    bool has(int field) const { return cell(field) != nullptr; }
    bool mapped(int field) const { return m_mapping.value(field, -1) >= 0; }
    QString title(int field) const { return m_fields.at(field).title; }

    void requirePresent() const {
        for (int f = 0; f < m_fields.size(); ++f)
            if (m_fields.at(f).required && !has(f)) refuse(QStringLiteral("缺少%1").arg(title(f)));
    }

    // A text of at most `length` characters; empty for an empty cell.
    QString text(int field, int length) const {
        const SheetCell* c = cell(field);
        if (!c) return QString();
        QString value = c->text.trimmed();
        if (c->kind == SheetCell::Kind::Boolean)
            value = value == QLatin1String("1") ? QStringLiteral("是") : QStringLiteral("否");
        if (const int at = invisibleCharacterAt(value))
            refuse(QStringLiteral("%1含有不可见的控制字符（第 %2 个字符）").arg(title(field)).arg(at));
        if (characterCount(value) > length)
            refuse(QStringLiteral("%1超过 %2 个字符：%3").arg(title(field)).arg(length).arg(value));
        return value;
    }

    // A code: a text. A sheet that stored it as a number is read as the digits it shows, and said so.
    QString code(int field, int length) {
        const SheetCell* c = cell(field);
        if (!c) return QString();
        if (c->kind != SheetCell::Kind::Number) return text(field, length);
        QString digits = c->text;
        bool whole = false;
        const double number = digits.toDouble(&whole);
        if (whole && std::floor(number) == number && std::fabs(number) < 1e15)
            digits = QString::number(qint64(number));
        // A format of zeros only ("0000") shows the leading zeros the number does not hold.
        static const QRegularExpression zeros(QStringLiteral("^0+$"));
        if (zeros.match(c->format).hasMatch() && digits.size() < c->format.size() &&
            !digits.startsWith(QLatin1Char('-')))
            digits = QString(c->format.size() - digits.size(), QLatin1Char('0')) + digits;
        if (characterCount(digits) > length)
            refuse(QStringLiteral("%1超过 %2 个字符：%3").arg(title(field)).arg(length).arg(digits));
        note(QStringLiteral("%1在表中存为数字，按“%2”导入").arg(title(field), digits));
        return digits;
    }

    std::optional<Money> money(int field) const {
        const SheetCell* c = cell(field);
        if (!c) return std::nullopt;
        QString t = c->text.trimmed();
        if (c->kind == SheetCell::Kind::Text) {
            t.remove(QChar(0xA5)).remove(QChar(0xFFE5)).remove(QStringLiteral("元"));
            t = t.trimmed();
        }
        std::optional<Money> m;
        if (c->kind == SheetCell::Kind::Number || c->kind == SheetCell::Kind::Text) {
            try {
                m = Money::parse(t);
                if (!m && c->kind == SheetCell::Kind::Number) {
                    bool ok = false;
                    const double d = t.toDouble(&ok);
                    if (ok && std::isfinite(d) && std::fabs(d) < 9e14) m = Money::fromDouble(d);
                }
            } catch (const Error&) {
                m.reset();
            }
        }
        if (!m) refuse(QStringLiteral("%1不是数字：%2").arg(title(field), c->text));
        return m;
    }

    // A whole number; nothing for an empty cell. A text is read as the program reads one typed into a
    // grid ("12", "+5", "12.0", "1,000"), so that "1e3" is no count of 1,000 pieces; a number cell may
    // hold a whole number in any notation.
    std::optional<qint64> whole(int field) const {
        const SheetCell* c = cell(field);
        if (!c) return std::nullopt;
        std::optional<qint64> n;
        if (c->kind == SheetCell::Kind::Text) {
            const auto typed = convertToFieldType(c->text, FieldType::Integer);
            if (typed && !typed->isNull()) n = typed->toLongLong();
        } else if (c->kind == SheetCell::Kind::Number) {
            bool ok = false;
            n = c->text.toLongLong(&ok);
            if (!ok) {
                const double d = c->text.toDouble(&ok);
                ok = ok && std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9e15;
                n = ok ? std::optional<qint64>(qint64(d)) : std::nullopt;
            }
        }
        if (!n) refuse(QStringLiteral("%1不是整数：%2").arg(title(field), c->text));
        return n;
    }

    QDate date(int field) const {
        const SheetCell* c = cell(field);
        if (!c) return {};
        QDate d;
        if (c->kind == SheetCell::Kind::Date) {
            d = c->date;
        } else if (c->kind == SheetCell::Kind::Number) {
            bool ok = false;
            const double serial = c->text.toDouble(&ok);
            // Eight digits are a day written as yyyymmdd; anything else a serial number of the sheet.
            if (ok && c->text.size() == 8 && serial >= 19000101)
                d = QDate::fromString(c->text, QStringLiteral("yyyyMMdd"));
            else if (ok)
                d = m_reader.dateOfSerial(serial);
        } else if (c->kind == SheetCell::Kind::Text) {
            d = dateOfText(field, c->text.trimmed());
        }
        if (!d.isValid() || d.year() < 1900 || d.year() > 9999)
            refuse(QStringLiteral("%1无法识别：%2").arg(title(field), c->text));
        return d;
    }

    // The state of a row, one of the target's two words: the second (dismissed, finished) or not;
    // nothing for an empty cell.
    std::optional<bool> state(int field, const QStringList& words) const {
        const SheetCell* c = cell(field);
        if (!c) return std::nullopt;
        const QString t = normalizedTitle(c->text);
        if (t == words.at(0)) return false;
        if (t == words.at(1)) return true;
        refuse(QStringLiteral("%1只能是“%2”或“%3”：%4").arg(title(field), words.at(0), words.at(1), c->text));
    }

    // What to know about a row, said beside it in the preview.
    void note(const QString& text) {
        if (!m_note.isEmpty()) m_note += QStringLiteral("；");
        m_note += text;
    }
    QString note() const { return m_note; }

  private:
    // A day written out, perhaps with a time of day ("2025/03/08 14:30"), which a record of the day
    // does not keep; a time that no clock shows ("25:99") makes the whole text doubtful.
    QDate dateOfText(int field, const QString& t) const {
        static const QRegularExpression separated(
            QStringLiteral("^(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})\\s*日?"
                           "(?:(?:\\s+|T)(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.\\d{1,9})?)?)?$"));
        static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
        static const QRegularExpression serial(QStringLiteral("^\\d{1,7}(\\.\\d+)?$"));
        for (const auto* re : {&separated, &compact}) {
            const auto m = re->match(t);
            if (!m.hasMatch()) continue;
            if (m.lastCapturedIndex() > 3 &&
                !QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()).isValid())
                refuse(QStringLiteral("%1中的时间不存在：%2").arg(title(field), t));
            return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        }
        if (serial.match(t).hasMatch()) return m_reader.dateOfSerial(t.toDouble());
        return {};
    }

    const SheetReader& m_reader;
    const QVector<ImportField>& m_fields;
    const QVector<int>& m_mapping;
    const SheetRow& m_row;
    QString m_note;
};

struct PieceKey {
    qint32 day, qty;
    qint64 staff, job;
    bool operator==(const PieceKey& o) const {
        return day == o.day && qty == o.qty && staff == o.staff && job == o.job;
    }
};
struct PieceKeyHash {
    size_t operator()(const PieceKey& k) const {
        size_t h = std::hash<qint64>()(k.staff);
        h = h * 1000003u ^ std::hash<qint64>()(k.job);
        h = h * 1000003u ^ std::hash<qint32>()(k.day);
        return h * 1000003u ^ std::hash<qint32>()(k.qty);
    }
};

QHash<QString, qint64> codes(Connection& cn, const QString& sql) {
    QHash<QString, qint64> result;
    PreparedStatement q(cn, sql);
    while (q.next()) result.insert(q.text(0), q.integer(1));
    return result;
}

// The record of the worker a cell names: its work number, or the text "work number  name" the piece-work
// window shows.
qint64 workerOf(const QHash<QString, qint64>& staff, const QString& text) {
    const auto it = staff.constFind(text);
    if (it != staff.constEnd()) return *it;
    const int blank = text.indexOf(QRegularExpression(QStringLiteral("\\s")));
    return blank > 0 ? staff.value(text.left(blank), 0) : 0;
}

class Checker {
  public:
    Checker(Connection& cn, const SheetReader& reader, ImportPlan& plan, const ImportOptions& options,
            const QVector<ImportField>& fields)
        : m_cn(cn), m_reader(reader), m_plan(plan), m_options(options), m_fields(fields) {
        switch (plan.target) {
            case ImportTarget::Staff:
                m_codes = codes(cn, QStringLiteral("select StaffCode, staffID from staff"));
                break;
            case ImportTarget::Job:
                m_codes = codes(cn, QStringLiteral("select JobCode, JobID from job"));
                break;
            case ImportTarget::PieceWork:
                m_codes = codes(cn, QStringLiteral("select StaffCode, staffID from staff"));
                m_jobs = codes(cn, QStringLiteral("select JobCode, JobID from job"));
                m_stored.emplace(
                    cn, QStringLiteral(
                            "select 1 from JobData where dateD=? and staffID=? and jobID=? and qty=?"));
                m_dayRecords.emplace(cn,
                                     QStringLiteral("select staffID, jobID, qty from JobData where dateD=?"));
                break;
            case ImportTarget::Bundle: {
                plan.orderId = options.orderId;
                if (!cn.scalar(QStringLiteral("select count(*) from prodOrder where orderID = ?"),
                               {options.orderId})
                         .toLongLong())
                    throw Error(QStringLiteral("生产单不存在，可能已被删除。请先选择一张生产单。"));
                PreparedStatement q(
                    cn,
                    QStringLiteral("select b.bundleNo, b.bundleID, count(t.ticketID) from bundle b "
                                   "left join bundleTicket t on t.bundleID = b.bundleID "
                                   "where b.orderID = ? group by b.bundleNo, b.bundleID"),
                    {options.orderId});
                while (q.next()) m_bundles.insert(q.integer(0), {q.integer(1), q.integer(2) > 0});
                break;
            }
        }
    }

    void check(const SheetRow& row) {
        ImportRow result;
        result.line = row.line;
        RowChecker c(m_reader, m_fields, m_plan.mapping, row);
        try {
            c.requirePresent();
            switch (m_plan.target) {
                case ImportTarget::Staff:
                    result.verdict = checkStaff(c, row.line);
                    break;
                case ImportTarget::Job:
                    result.verdict = checkJob(c, row.line);
                    break;
                case ImportTarget::PieceWork:
                    result.verdict = checkPiece(c, row.line);
                    break;
                case ImportTarget::Bundle:
                    result.verdict = checkBundle(c, row.line);
                    break;
            }
            result.reason = c.note();
        } catch (const Refusal& r) {
            result.verdict = ImportVerdict::Refused;
            result.reason = r.reason;
        }
        switch (result.verdict) {
            case ImportVerdict::Add:
                ++m_plan.added;
                break;
            case ImportVerdict::Update:
                ++m_plan.updated;
                break;
            case ImportVerdict::Skip:
                ++m_plan.skipped;
                break;
            case ImportVerdict::Refused:
                break;
        }
        const bool shown = m_plan.preview.size() < m_options.previewRows;
        if (shown || result.verdict == ImportVerdict::Refused) result.cells = heldCells(row);
        if (result.verdict == ImportVerdict::Refused) m_plan.refusedRows.append(result);
        if (shown) m_plan.preview.append(std::move(result));
    }

  private:
    // The cells of the row under a title or in a mapped column, the empty ones left out.
    QVector<ImportRow::Cell> heldCells(const SheetRow& row) const {
        QVector<ImportRow::Cell> held;
        const int titled = qMin(int(row.cells.size()), int(m_plan.header.cells.size()));
        for (int column = 0; column < titled; ++column)
            if (row.cells.at(column).kind != SheetCell::Kind::Empty)
                held.append({column, row.cells.at(column)});
        QVector<int> further;
        for (const int column : m_plan.mapping)
            if (column >= titled && column < row.cells.size() && !further.contains(column))
                further.append(column);
        std::sort(further.begin(), further.end());
        for (const int column : further)
            if (row.cells.at(column).kind != SheetCell::Kind::Empty)
                held.append({column, row.cells.at(column)});
        return held;
    }

    // A code met before in the sheet: the row that had it.
    void once(const QString& code, int line, const QString& title) {
        const auto seen = m_seen.constFind(code);
        if (seen != m_seen.constEnd())
            refuse(QStringLiteral("%1 %2 与第 %3 行重复").arg(title, code).arg(*seen));
        m_seen.insert(code, line);
    }

    ImportVerdict checkStaff(RowChecker& c, int line) {
        ImportPlan::Staff s;
        s.code = c.code(sCode, 10);
        s.name = c.text(sName, 10);
        s.group = c.text(sGroup, 20);
        s.levelSalary = c.money(sLevelSalary);
        if (const auto day = c.whole(sSalaryDay)) {
            if (*day < 1 || *day > 31) refuse(QStringLiteral("发薪日须在 1 到 31 之间：%1").arg(*day));
            s.salaryDay = int(*day);
        }
        s.dismissed = c.state(sState, stateWords(ImportTarget::Staff));
        for (int i = 0; i < fixedItems; ++i) s.fixedItems[size_t(i)] = c.money(sFirstItem + i);
        once(s.code, line, c.title(sCode));
        s.id = m_codes.value(s.code, 0);
        if (s.id != 0 && !m_options.updateExisting) return ImportVerdict::Skip;
        if (!s.dismissed)
            c.note(s.id ? QStringLiteral("状态未填：在职或辞退保持不变")
                        : QStringLiteral("状态未填：按在职新增"));
        const ImportVerdict verdict = s.id != 0 ? ImportVerdict::Update : ImportVerdict::Add;
        m_plan.staff.push_back(std::move(s));
        return verdict;
    }

    ImportVerdict checkJob(RowChecker& c, int line) {
        ImportPlan::Job j;
        j.code = c.code(jCode, 30);
        j.description = c.text(jDescription, 120);
        j.style = c.text(jStyle, 20);
        j.unitPrice = c.money(jUnitPrice);
        j.finished = c.state(jState, stateWords(ImportTarget::Job));
        once(j.code, line, c.title(jCode));
        j.id = m_codes.value(j.code, 0);
        if (j.id != 0 && !m_options.updateExisting) return ImportVerdict::Skip;
        if (!j.finished)
            c.note(j.id ? QStringLiteral("状态未填：开工或完工保持不变")
                        : QStringLiteral("状态未填：按开工新增"));
        const ImportVerdict verdict = j.id != 0 ? ImportVerdict::Update : ImportVerdict::Add;
        m_plan.jobs.push_back(std::move(j));
        return verdict;
    }

    ImportVerdict checkPiece(RowChecker& c, int line) {
        const QDate day = c.date(pDate);
        const QString worker = c.code(pWorker, 100);
        const qint64 staffId = workerOf(m_codes, worker);
        if (staffId == 0) refuse(QStringLiteral("没有工号为 %1 的员工").arg(worker));
        const QString process = c.code(pProcess, 30);
        const qint64 jobId = m_jobs.value(process, 0);
        if (jobId == 0) refuse(QStringLiteral("没有编号为 %1 的工序").arg(process));
        const qint64 qty = *c.whole(pQty);
        if (qty > maxPiecesPerRecord || qty < -maxPiecesPerRecord)
            refuse(
                QStringLiteral("数量不能超过 %1 件，也不能少于 -%1 件：%2").arg(maxPiecesPerRecord).arg(qty));
        const PieceKey key{qint32(dayZero.daysTo(day)), qint32(qty), staffId, jobId};
        const auto seen = m_pieces.find(key);
        if (seen != m_pieces.end()) refuse(QStringLiteral("与第 %1 行的计件记录重复").arg(seen->second));
        if (isStored(key, day)) refuse(QStringLiteral("与已有的计件记录重复"));
        m_pieces.emplace(key, line);
        m_plan.pieces.push_back({key.day, key.qty, staffId, jobId});
        return ImportVerdict::Add;
    }

    ImportVerdict checkBundle(RowChecker& c, int line) {
        ImportPlan::Bundle b;
        if (const auto number = c.whole(bNumber)) {
            if (*number < 1 || *number > maxBundleNo)
                refuse(QStringLiteral("%1须在 1 到 %2 之间：%3")
                           .arg(c.title(bNumber))
                           .arg(maxBundleNo)
                           .arg(*number));
            b.number = int(*number);
            once(QString::number(b.number), line, c.title(bNumber));
        }
        b.color = c.text(bColor, 20);
        b.size = c.text(bSize, 20);
        b.pieces = *c.whole(bPieces);
        if (b.pieces < 1 || b.pieces > maxPiecesPerRecord)
            refuse(QStringLiteral("%1须在 1 到 %2 之间：%3")
                       .arg(c.title(bPieces))
                       .arg(maxPiecesPerRecord)
                       .arg(b.pieces));
        if (b.number) {
            const auto stored = m_bundles.constFind(b.number);
            if (stored != m_bundles.constEnd()) {
                b.id = stored->id;
                if (!m_options.updateExisting) return ImportVerdict::Skip;
                if (stored->hasTickets)
                    refuse(QStringLiteral("第 %1 扎已打印菲票，不能更新。请先作废它的菲票").arg(b.number));
            }
        } else {
            c.note(QStringLiteral("扎号未填：接着本单的扎号编号"));
        }
        const ImportVerdict verdict = b.id != 0 ? ImportVerdict::Update : ImportVerdict::Add;
        m_plan.bundles.push_back(std::move(b));
        return verdict;
    }

    // Whether the account set holds the record already. The records of a day are read at once, in one
    // pass over the index, the first time the sheet names the day; past the records held (a sheet over
    // years of records) each further record is looked up alone, so that memory stays bounded.
    bool isStored(const PieceKey& key, const QDate& day) {
        auto known = m_daysRead.find(key.day);
        if (known == m_daysRead.end()) {
            const bool readWhole = m_storedPieces.size() < size_t(qMax(0, m_options.storedRecordsHeld));
            known = m_daysRead.emplace(key.day, readWhole).first;
            if (readWhole) {
                m_dayRecords->bind(1, day);
                while (m_dayRecords->next())
                    m_storedPieces.insert({key.day, qint32(m_dayRecords->integer(2)),
                                           m_dayRecords->integer(0), m_dayRecords->integer(1)});
                m_dayRecords->reset();
            }
        }
        if (known->second) return m_storedPieces.count(key) != 0;
        m_stored->bindAll({day, key.staff, key.job, qint64(key.qty)});
        const bool stored = m_stored->next();
        m_stored->reset();
        return stored;
    }

    Connection& m_cn;
    const SheetReader& m_reader;
    ImportPlan& m_plan;
    const ImportOptions& m_options;
    const QVector<ImportField> m_fields;
    QHash<QString, qint64> m_codes;
    QHash<QString, qint64> m_jobs;
    QHash<QString, int> m_seen;
    std::optional<PreparedStatement> m_stored;
    std::unordered_map<PieceKey, int, PieceKeyHash> m_pieces;
    std::optional<PreparedStatement> m_dayRecords;
    std::unordered_map<qint32, bool> m_daysRead;  // a day met: its records read whole, or looked up alone
    std::unordered_set<PieceKey, PieceKeyHash> m_storedPieces;
    struct StoredBundle {
        qint64 id = 0;
        bool hasTickets = false;
    };
    QHash<qint64, StoredBundle> m_bundles;  // the order's, by number
};

// The lookups of a batch of rows read in one read transaction: outside one, every statement takes and
// drops the file's lock and checks the file for changes. Ended before the user's events are handled, so
// that no transaction stays open while the program does other things.
class ReadBatch {
  public:
    explicit ReadBatch(Connection& cn) : m_cn(cn), m_own(!cn.inTransaction()) {
        if (m_own) cn.exec(QStringLiteral("BEGIN"));
    }
    ~ReadBatch() {
        if (!m_own) return;
        try {
            m_cn.exec(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
    }
    void finish() {
        if (m_own) m_cn.exec(QStringLiteral("COMMIT"));
        m_own = false;
    }
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;

  private:
    Connection& m_cn;
    bool m_own;
};

void writeCell(lxw_worksheet* sheet, lxw_format* dateFormat, lxw_row_t row, lxw_col_t col,
               const SheetCell& c) {
    switch (c.kind) {
        case SheetCell::Kind::Empty:
            return;
        case SheetCell::Kind::Number: {
            bool ok = false;
            const double d = c.text.toDouble(&ok);
            if (ok) {
                worksheet_write_number(sheet, row, col, d, nullptr);
                return;
            }
            break;
        }
        case SheetCell::Kind::Boolean:
            worksheet_write_boolean(sheet, row, col, c.text == QLatin1String("1"), nullptr);
            return;
        case SheetCell::Kind::Date:
            if (c.date.isValid() && c.date.year() >= 1900) {
                lxw_datetime dt{c.date.year(), c.date.month(), c.date.day(), 0, 0, 0.0};
                worksheet_write_datetime(sheet, row, col, &dt, dateFormat);
                return;
            }
            break;
        default:
            break;
    }
    worksheet_write_string(sheet, row, col, c.text.left(32767).toUtf8().constData(), nullptr);
}

}  // namespace

const SheetCell* ImportRow::cell(int column) const {
    for (const Cell& c : cells)
        if (c.column == column) return &c.cell;
    return nullptr;
}

QVector<ImportField> importFields(ImportTarget target, const QStringList& fixedItemTitles) {
    auto titles = [](std::initializer_list<const char16_t*> list) {
        QStringList result;
        for (const char16_t* t : list) result << QString::fromUtf16(t);
        return result;
    };
    switch (target) {
        case ImportTarget::Staff: {
            QVector<ImportField> fields = {
                {QStringLiteral("工号"), titles({u"工号", u"员工号", u"编号"}), true},
                {QStringLiteral("姓名"), titles({u"姓名", u"员工姓名"}), true},
                {QStringLiteral("班组"), titles({u"班组", u"组别"}), false},
                {QStringLiteral("能力工资"), titles({u"能力工资"}), false},
                {QStringLiteral("发薪日"), titles({u"发薪日"}), false},
                {QStringLiteral("状态"), titles({u"状态"}), false}};
            for (int i = 0; i < fixedItems; ++i) {
                const QString code = QStringLiteral("A0%1").arg(i + 2);
                const QString name = normalizedTitle(fixedItemTitles.value(i));
                fields.append({name.isEmpty() ? code : name,
                               name.isEmpty() ? QStringList{code} : QStringList{name, code}, false});
            }
            return fields;
        }
        case ImportTarget::Job:
            return {{QStringLiteral("工序编号"), titles({u"工序编号", u"工序号", u"工序"}), true},
                    {QStringLiteral("描述"), titles({u"描述", u"工艺描述", u"工序描述"}), false},
                    {QStringLiteral("款式"), titles({u"款式", u"对应款式"}), false},
                    {QStringLiteral("工价"), titles({u"工价", u"单价"}), false},
                    {QStringLiteral("状态"), titles({u"状态"}), false}};
        case ImportTarget::PieceWork:
            return {{QStringLiteral("日期"), titles({u"日期"}), true},
                    {QStringLiteral("工号"), titles({u"工号", u"工号姓名", u"员工号"}), true},
                    {QStringLiteral("工序"), titles({u"工序", u"工序号", u"工序编号"}), true},
                    {QStringLiteral("数量"), titles({u"数量", u"件数"}), true}};
        case ImportTarget::Bundle:
            return {{QStringLiteral("扎号"), titles({u"扎号", u"扎", u"编号"}), false},
                    {QStringLiteral("颜色"), titles({u"颜色", u"色"}), false},
                    {QStringLiteral("尺码"), titles({u"尺码", u"尺寸", u"规格"}), false},
                    {QStringLiteral("件数"), titles({u"件数", u"数量"}), true}};
    }
    return {};
}

QVector<ImportField> importFields(Connection& cn, ImportTarget target) {
    return importFields(target, target == ImportTarget::Staff ? fixedItemTitles(cn) : QStringList());
}

QStringList stateWords(ImportTarget target) {
    if (target == ImportTarget::Job) return {QStringLiteral("开工"), QStringLiteral("完工")};
    return {QStringLiteral("在职"), QStringLiteral("辞退")};
}

QVector<int> guessMapping(const QVector<ImportField>& fields, const SheetRow& header) {
    QVector<int> mapping(fields.size(), -1);
    QVector<bool> used(header.cells.size(), false);
    // The first title of every field first, so that 工序号 goes to the process code before anything else.
    for (int rank = 0; rank < 3; ++rank) {
        for (int f = 0; f < fields.size(); ++f) {
            if (mapping[f] >= 0 || rank >= fields[f].headers.size()) continue;
            for (int col = 0; col < header.cells.size(); ++col) {
                if (used[col] || normalizedTitle(header.cells[col].text) != fields[f].headers[rank]) continue;
                mapping[f] = col;
                used[col] = true;
                break;
            }
        }
    }
    return mapping;
}

QString verdictText(ImportVerdict verdict) {
    switch (verdict) {
        case ImportVerdict::Add:
            return QStringLiteral("新增");
        case ImportVerdict::Update:
            return QStringLiteral("更新");
        case ImportVerdict::Skip:
            return QStringLiteral("跳过");
        case ImportVerdict::Refused:
            return QStringLiteral("拒绝");
    }
    return QString();
}

namespace {

int namedFields(const QVector<ImportField>& fields, const SheetRow& row) {
    const QVector<int> guessed = guessMapping(fields, row);
    return int(std::count_if(guessed.begin(), guessed.end(), [](int column) { return column >= 0; }));
}

// Reads the first rows into `lead` and says which of them is the title row: the one that names the most
// fields (a sheet often starts with a heading such as "2026年11月计件表" above its titles); the first row
// when none names a field. `best` is set to the fields it names.
size_t findTitles(SheetReader& reader, const QVector<ImportField>& fields, std::vector<SheetRow>& lead,
                  int* best = nullptr) {
    SheetRow row;
    int bestNamed = 0;
    size_t titles = 0;
    while (lead.size() < titleRowsLooked && reader.next(row)) {
        const int named = namedFields(fields, row);
        if (named > bestNamed) {
            bestNamed = named;
            titles = lead.size();
        }
        lead.push_back(row);
    }
    if (best) *best = bestNamed;
    return titles;
}

}  // namespace

namespace {

// Memory running out while a sheet is read is said in words, and nothing is imported.
[[noreturn]] void outOfMemory(const QString& path) {
    throw FileError(QStringLiteral("文件过大或已损坏，没有导入（读取 %1 时内存不足）")
                        .arg(QDir::toNativeSeparators(path)));
}

}  // namespace

std::optional<int> sheetToImport(const QString& path, ImportTarget target, const ReadProgress& progress) {
    try {
        const int sheets = qMax(1, int(SheetReader::open(path, 0, progress)->sheetNames().size()));
        if (sheets == 1) return 0;
        int chosen = 0;
        int bestNamed = 0;
        for (int sheet = 0; sheet < sheets; ++sheet) {
            auto reader = SheetReader::open(path, sheet, progress);
            std::vector<SheetRow> lead;
            int named = 0;
            findTitles(*reader, importFields(target), lead, &named);
            if (named > bestNamed) {
                bestNamed = named;
                chosen = sheet;
            }
        }
        return chosen;
    } catch (const ReadCancelled&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        outOfMemory(path);
    }
}

std::optional<ImportPlan> checkImport(Connection& cn, const QString& path, const ImportOptions& options,
                                      const std::function<bool(double)>& progress) try {
    std::optional<ReadBatch> batch;
    // The reader tells its progress also while it opens the workbook and between rows far apart; the
    // batch's read transaction is ended before the user's events are handled.
    const auto reading = [&](double share) {
        if (batch) {
            batch->finish();
            batch.reset();
        }
        return !progress || progress(share);
    };
    auto reader = SheetReader::open(path, options.sheet, reading);
    ImportPlan plan;
    plan.target = options.target;
    plan.sheets = reader->sheetNames();
    std::vector<SheetRow> lead;
    SheetRow row;
    const QVector<ImportField> fields = importFields(cn, options.target);
    const size_t titles = findTitles(*reader, fields, lead);
    if (lead.empty()) return plan;
    plan.header = lead[titles];
    plan.mapping = options.mapping.isEmpty() ? guessMapping(fields, plan.header) : options.mapping;
    plan.mapping.resize(fields.size(), -1);
    Checker checker(cn, *reader, plan, options, fields);
    const BulkWork bulk(cn);
    int n = 0;
    size_t next = titles + 1;
    // The rows read while looking for the titles first, then the rest of the sheet.
    const auto nextRow = [&](SheetRow& r) {
        if (next < lead.size()) {
            r = std::move(lead[next++]);
            return true;
        }
        return reader->next(r);
    };
    while (nextRow(row)) {
        if (!batch) batch.emplace(cn);
        checker.check(row);
        if ((++n & 1023) == 0 && !reading(reader->progress())) return std::nullopt;
    }
    if (batch) batch->finish();
    return plan;
} catch (const ReadCancelled&) {
    return std::nullopt;
} catch (const std::bad_alloc&) {
    outOfMemory(path);
}

namespace {

// The values of one stored row in order. An empty cell stores what the window stores for an empty cell
// in a new row (an empty text, 0, the current state) and keeps the stored value in an update.
struct Bind {
    Bind(PreparedStatement& statement, bool update) : q(statement), updating(update) {}
    PreparedStatement& q;
    bool updating;
    int p = 1;

    void text(const QString& value) {
        if (!value.isEmpty())
            q.bind(p++, value);
        else if (updating)
            q.bindNull(p++);
        else
            q.bind(p++, QString(QLatin1String("")));
    }
    void money(const std::optional<Money>& value) {
        if (value)
            q.bind(p++, *value);
        else if (updating)
            q.bindNull(p++);
        else
            q.bind(p++, Money());
    }
    void flag(const std::optional<bool>& value) {
        if (value)
            q.bindYesNo(p++, *value);
        else if (updating)
            q.bindNull(p++);
        else
            q.bindYesNo(p++, false);
    }
};

}  // namespace

ImportResult applyImport(Connection& cn, const ImportPlan& plan,
                         const std::function<bool(int, int)>& progress) {
    ImportResult result;
    result.refused = plan.refused();
    const int total = int(plan.staff.size() + plan.jobs.size() + plan.pieces.size() + plan.bundles.size());
    int done = 0;
    // Progress is told every 1024 rows.
    auto advance = [&](int rows) {
        const int before = done;
        done += rows;
        return !progress || (before >> 10) == (done >> 10) || progress(done, total);
    };
    auto step = [&] { return advance(1); };
    const BulkWork bulk(cn);
    cn.beginTransaction();
    try {
        if (plan.target == ImportTarget::Staff) {
            QString items;
            QString itemValues;
            QString itemChanges;
            for (int i = 0; i < fixedItems; ++i) {
                const QString code = QStringLiteral("A0%1").arg(i + 2);
                items += QStringLiteral(", ") + code;
                itemValues += QStringLiteral(", ?");
                itemChanges += QStringLiteral(", %1=coalesce(?, %1)").arg(code);
            }
            PreparedStatement add(
                cn, QStringLiteral("insert into staff (StaffCode, StaffName, ClassGroup, "
                                   "LevelSalary, salaryDay, Firedd%1) values (?, ?, ?, ?, ?, ?%2)")
                        .arg(items, itemValues));
            PreparedStatement change(
                cn,
                QStringLiteral("update staff set StaffName=coalesce(?, StaffName), "
                               "ClassGroup=coalesce(?, ClassGroup), LevelSalary=coalesce(?, LevelSalary), "
                               "salaryDay=coalesce(?, salaryDay), Firedd=coalesce(?, Firedd)%1 "
                               "where staffID=?")
                    .arg(itemChanges));
            for (const auto& s : plan.staff) {
                Bind b(s.id ? change : add, s.id != 0);
                if (!s.id) b.q.bind(b.p++, s.code);
                b.text(s.name);
                b.text(s.group);
                b.money(s.levelSalary);
                if (s.salaryDay)
                    b.q.bind(b.p++, *s.salaryDay);
                else
                    b.q.bindNull(b.p++);
                b.flag(s.dismissed);
                for (const auto& amount : s.fixedItems) b.money(amount);
                if (s.id) b.q.bind(b.p++, s.id);
                b.q.run();
                s.id ? ++result.updated : ++result.added;
                if (!step()) throw Refusal{};
            }
        } else if (plan.target == ImportTarget::Bundle) {
            // The order is held, as a generation holds it, so that two desks never hand out one number.
            PreparedStatement order(
                cn,
                cn.dialect().lockingRows(QStringLiteral("select orderID from prodOrder where orderID = ?")),
                {plan.orderId});
            if (!order.next()) throw Error(QStringLiteral("生产单不存在，可能已被删除。"));
            while (order.next()) {
            }
            qint64 next =
                cn.scalar(QStringLiteral("select coalesce(max(bundleNo), 0) from bundle where orderID = ?"),
                          {plan.orderId})
                    .toLongLong();
            for (const auto& b : plan.bundles) next = std::max(next, qint64(b.number));
            PreparedStatement add(cn,
                                  QStringLiteral("insert into bundle (orderID, bundleNo, color, size, qty) "
                                                 "values (?, ?, ?, ?, ?)"));
            // A bundle whose tickets were made since the check keeps its pieces: the import is refused.
            PreparedStatement change(
                cn, QStringLiteral("update bundle set color = coalesce(?, color), size = coalesce(?, size), "
                                   "qty = ? where bundleID = ? and not exists "
                                   "(select 1 from bundleTicket t where t.bundleID = bundle.bundleID)"));
            const auto textOrNull = [](PreparedStatement& q, int p, const QString& text) {
                if (text.isEmpty())
                    q.bindNull(p);
                else
                    q.bind(p, text);
            };
            for (const auto& b : plan.bundles) {
                if (b.id) {
                    textOrNull(change, 1, b.color);
                    textOrNull(change, 2, b.size);
                    change.bind(3, b.pieces);
                    change.bind(4, b.id);
                    if (change.run() != 1)
                        throw Error(
                            QStringLiteral("第 %1 扎刚刚打印了菲票或已被删除，没有导入。").arg(b.number));
                    ++result.updated;
                } else {
                    add.bind(1, plan.orderId);
                    add.bind(2, qint64(b.number ? b.number : ++next));
                    textOrNull(add, 3, b.color);
                    textOrNull(add, 4, b.size);
                    add.bind(5, b.pieces);
                    add.run();
                    ++result.added;
                }
                if (!step()) throw Refusal{};
            }
        } else if (plan.target == ImportTarget::Job) {
            PreparedStatement add(
                cn, QStringLiteral("insert into job (JobCode, Description, StyleGroup, UnitPrice, "
                                   "stopp) values (?, ?, ?, ?, ?)"));
            PreparedStatement change(
                cn, QStringLiteral("update job set Description=coalesce(?, Description), "
                                   "StyleGroup=coalesce(?, StyleGroup), UnitPrice=coalesce(?, UnitPrice), "
                                   "stopp=coalesce(?, stopp) where JobID=?"));
            for (const auto& j : plan.jobs) {
                Bind b(j.id ? change : add, j.id != 0);
                if (!j.id) b.q.bind(b.p++, j.code);
                b.text(j.description);
                b.text(j.style);
                b.money(j.unitPrice);
                b.flag(j.finished);
                if (j.id) b.q.bind(b.p++, j.id);
                b.q.run();
                j.id ? ++result.updated : ++result.added;
                if (!step()) throw Refusal{};
            }
        } else {
            // Many records to a statement: on a server every statement is a round trip, and the file
            // engine stores them no slower. 800 values stay within what any engine binds to one.
            constexpr std::size_t perInsert = 200;
            const auto insertOf = [&cn](std::size_t records) {
                QString sql = QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values ");
                for (std::size_t i = 0; i < records; ++i)
                    sql += i ? QStringLiteral(", (?, ?, ?, ?)") : QStringLiteral("(?, ?, ?, ?)");
                return PreparedStatement(cn, sql);
            };
            std::optional<PreparedStatement> full;
            char iso[11];
            for (std::size_t first = 0; first < plan.pieces.size(); first += perInsert) {
                const std::size_t count = std::min(perInsert, plan.pieces.size() - first);
                std::optional<PreparedStatement> rest;
                if (count == perInsert && !full) full.emplace(insertOf(perInsert));
                if (count < perInsert) rest.emplace(insertOf(count));
                PreparedStatement& add = count == perInsert ? *full : *rest;
                int p = 1;
                for (std::size_t i = first; i < first + count; ++i) {
                    const ImportPlan::Piece& r = plan.pieces[i];
                    const QDate day = dayZero.addDays(r.day);
                    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", day.year(), day.month(), day.day());
                    add.bindUtf8(p++, QByteArrayView(iso, 10));
                    add.bind(p++, r.staffId);
                    add.bind(p++, r.jobId);
                    add.bind(p++, qint64(r.qty));
                }
                add.run();
                result.added += int(count);
                if (!advance(int(count))) throw Refusal{};
            }
        }
        cn.commit();
        if (progress) progress(total, total);
    } catch (const Refusal&) {
        cn.rollback();
        ImportResult cancelled;
        cancelled.cancelled = true;
        return cancelled;
    } catch (...) {
        cn.rollback();
        throw;
    }
    return result;
}

QString importSummary(const ImportResult& result) {
    return QStringLiteral("新增 %1 行，更新 %2 行，拒绝 %3 行")
        .arg(result.added)
        .arg(result.updated)
        .arg(result.refused);
}

void writeRefusedRows(const ImportPlan& plan, const QString& path) {
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    if (!book) throw FileError(QStringLiteral("不能创建文件 %1").arg(QDir::toNativeSeparators(path)));
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");
    int width = plan.header.cells.size();
    for (const auto& r : plan.refusedRows)
        if (!r.cells.isEmpty()) width = qMax(width, r.cells.constLast().column + 1);
    width = qMin(width, int(LXW_COL_MAX) - 1);
    for (int c = 0; c < qMin(width, int(plan.header.cells.size())); ++c)
        writeCell(sheet, dateFormat, 0, lxw_col_t(c), plan.header.cells[c]);
    worksheet_write_string(sheet, 0, lxw_col_t(width), "拒绝原因", nullptr);
    lxw_row_t row = 1;
    for (const auto& r : plan.refusedRows) {
        if (row >= LXW_ROW_MAX) break;
        for (const auto& c : r.cells)
            if (c.column < width) writeCell(sheet, dateFormat, row, lxw_col_t(c.column), c.cell);
        const QString reason = QStringLiteral("第 %1 行：%2").arg(r.line).arg(r.reason);
        worksheet_write_string(sheet, row, lxw_col_t(width), reason.toUtf8().constData(), nullptr);
        ++row;
    }
    const lxw_error e = workbook_close(book);
    if (e != LXW_NO_ERROR)
        throw FileError(QStringLiteral("不能写入文件 %1：磁盘已满、没有写入权限，或文件正被其他程序打开")
                            .arg(QDir::toNativeSeparators(path)));
}

}  // namespace hx
