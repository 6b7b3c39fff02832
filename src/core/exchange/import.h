#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "core/data/money.h"
#include "core/exchange/sheetreader.h"

namespace hx {

class Connection;

// What a sheet is imported into: the workers (staff), the processes (job), the piece-work records or the
// bundles of a production order.
enum class ImportTarget { Staff, Job, PieceWork, Bundle };

// One field of the target a column of the sheet can be mapped to.
struct ImportField {
    QString title;          // as the windows and the export title it
    QStringList headers;    // the column titles it is recognised by
    bool required = false;  // a row without it is refused
};
// The fields of a target. A worker's fixed amounts A02 to A08 are titled by the month's item names
// (`fixedItemTitles`, as the 固定工资类项目 page titles them) and recognised by those names or by
// their codes; an item without a name is titled by its code.
QVector<ImportField> importFields(ImportTarget target, const QStringList& fixedItemTitles = {});
// The same, with the item names the account set holds.
QVector<ImportField> importFields(Connection& cn, ImportTarget target);

// For every field, the column of the sheet whose title names it (-1: none).
QVector<int> guessMapping(const QVector<ImportField>& fields, const SheetRow& header);

// The words of the column "状态" that the export writes and the import reads: a worker 在职 or 辞退, a
// process 开工 or 完工 (the second word: dismissed, finished).
QStringList stateWords(ImportTarget target);

enum class ImportVerdict { Add, Update, Skip, Refused };
QString verdictText(ImportVerdict verdict);

// A row of the sheet as checked: what import will do with it, and why (refused) or what to know about it
// (a code the sheet stored as a number).
struct ImportRow {
    int line = 0;
    ImportVerdict verdict = ImportVerdict::Add;
    QString reason;
    // The row's cells as the sheet holds them, in the columns that have a title or are mapped (the
    // columns the preview shows and the refused rows' file writes); only the non-empty ones, so that a
    // row with one value far to the right does not hold thousands of empty cells.
    struct Cell {
        int column = 0;
        SheetCell cell;
    };
    QVector<Cell> cells;
    // The cell of a column; nullptr when it is empty or not held.
    const SheetCell* cell(int column) const;
};

struct ImportOptions {
    ImportTarget target = ImportTarget::Staff;
    // The sheet of a workbook, counted from 0.
    int sheet = 0;
    // For every field, the column it is read from (-1: none). Empty: guessed from the title row.
    QVector<int> mapping;
    // A worker, process or bundle that exists already: updated with the sheet's values, or left as it is.
    bool updateExisting = true;
    // The production order whose bundles are imported (ImportTarget::Bundle).
    qint64 orderId = 0;
    // How many checked rows the plan keeps for a preview.
    int previewRows = 200;
    // How many stored piece records the check holds in memory to find repeats among them; records of
    // further days are looked up one by one.
    int storedRecordsHeld = 1000000;
};

// The outcome of checking a whole sheet: what will be stored, the rows refused with their reasons.
struct ImportPlan {
    ImportTarget target = ImportTarget::Staff;
    QStringList sheets;  // the workbook's sheets; empty for a .csv file
    SheetRow header;
    QVector<int> mapping;
    int added = 0;
    int updated = 0;
    int skipped = 0;
    QVector<ImportRow> preview;
    QVector<ImportRow> refusedRows;

    // An empty cell is an empty text or nothing: a new row stores the empty text (or 0), an update
    // keeps what is stored.
    struct Staff {
        qint64 id = 0;  // 0: a new worker
        QString code, name, group;
        std::optional<Money> levelSalary;
        std::optional<int> salaryDay;
        std::optional<bool> dismissed;
        std::array<std::optional<Money>, 7> fixedItems;  // A02 to A08
    };
    struct Job {
        qint64 id = 0;  // 0: a new process
        QString code, description, style;
        std::optional<Money> unitPrice;
        std::optional<bool> finished;
    };
    // A bundle of the order: a new one without a number is numbered on after the order's bundles.
    struct Bundle {
        qint64 id = 0;   // 0: a new bundle
        int number = 0;  // 0: the next number
        QString color, size;
        qint64 pieces = 0;
    };
    qint64 orderId = 0;
    struct Piece {
        qint32 day = 0;  // days since 2000-01-01
        qint32 qty = 0;
        qint64 staffId = 0;
        qint64 jobId = 0;
    };
    std::vector<Staff> staff;
    std::vector<Job> jobs;
    std::vector<Piece> pieces;
    std::vector<Bundle> bundles;

    int refused() const { return int(refusedRows.size()); }
    int accepted() const { return added + updated; }
};

// Reads the sheet (its title row is the one of its first ten rows that names the most fields; rows
// above it are headings and left out) and checks every row against the account set as the windows check
// a typed row. `progress` is called now and then with the share read; when it returns false the check
// stops and nothing is returned. Raises FileError for a file that cannot be read or is too large to
// check in memory.
std::optional<ImportPlan> checkImport(Connection& cn, const QString& path, const ImportOptions& options,
                                      const std::function<bool(double)>& progress = {});

// The sheet of a workbook to import from first: the one whose first rows name the most fields of the
// target (the first on a tie, and the first when none names any), so that a cover or notes sheet in
// front of the list is passed by; nothing when `progress` stopped it. Raises FileError.
std::optional<int> sheetToImport(const QString& path, ImportTarget target, const ReadProgress& progress = {});

struct ImportResult {
    bool cancelled = false;
    int added = 0;
    int updated = 0;
    int refused = 0;
};

// Stores the accepted rows of a plan in one transaction: all of them or, when `progress` (called with the
// rows done and the rows in all) returns false or a row is refused by the database, none. Raises the
// database's error in the latter case.
ImportResult applyImport(Connection& cn, const ImportPlan& plan,
                         const std::function<bool(int, int)>& progress = {});

// "新增 N 行，更新 M 行，拒绝 K 行"
QString importSummary(const ImportResult& result);

// Writes the refused rows as a spreadsheet: the title row, then each row as it was in the sheet with the
// reason in a last column, so that it can be corrected and imported again. Raises FileError.
void writeRefusedRows(const ImportPlan& plan, const QString& path);

}  // namespace hx
