#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

namespace hx {

// One cell of a sheet as the file stores it.
struct SheetCell {
    enum class Kind { Empty, Text, Number, Boolean, Date, Error };
    Kind kind = Kind::Empty;
    // Text: the text. Number: the number as the file writes it ("12.5", "0.1", "1E-3"), so that an
    // amount is read exactly. Boolean: "1" or "0". Error: the error code ("#N/A"). Date: ISO date.
    QString text;
    // Date: the day. Number: the day a serial number stands for (valid when the number is one).
    QDate date;
    // Number: the cell's number format, when it has one of its own ("0000", "0.00").
    QString format;

    bool isEmpty() const { return kind == Kind::Empty || (kind == Kind::Text && text.trimmed().isEmpty()); }
};

struct SheetRow {
    int line = 0;  // the row's number in the sheet (1 = the first row)
    QVector<SheetCell> cells;
};

// Raised by a reader whose progress callback said to stop.
struct ReadCancelled {};

// Called now and then with the share of the file read; false stops the reading (ReadCancelled).
using ReadProgress = std::function<bool(double)>;

// Reads the rows of a spreadsheet file one at a time: an .xlsx workbook (its first sheet) or a .csv text
// in UTF-8 (with or without a byte order mark) or GBK. Every part of an .xlsx workbook is read straight
// from the compressed file, so that a large sheet never sits in memory whole; its shared texts are held
// once. A part that inflates beyond what a workbook holds, or shared texts beyond what memory should
// hold, make the file refused ("文件过大或已损坏，没有导入"), before memory runs out.
// Raises FileError with the cause when the file cannot be opened or is not a spreadsheet.
class SheetReader {
  public:
    virtual ~SheetReader();
    // The workbook's sheet `sheet` (counted from 0 in the workbook's order); a .csv file has only one.
    // `progress` is called while the workbook is opened (its shared texts can take long) and while its
    // rows are read, also where a row is long in coming.
    static std::unique_ptr<SheetReader> open(const QString& path, int sheet = 0,
                                             const ReadProgress& progress = {});

    // The next row that holds at least one cell; false after the last.
    virtual bool next(SheetRow& row) = 0;
    // How much of the file has been read, from 0 to 1.
    virtual double progress() const = 0;
    // The day of a serial number in this file's date system; invalid outside the days a sheet can hold.
    virtual QDate dateOfSerial(double serial) const;
    // The names of the workbook's sheets in its order; empty for a file of one unnamed sheet (.csv).
    virtual QStringList sheetNames() const;

    // The file filter of the open dialog.
    static QString fileFilter();

  protected:
    SheetReader() = default;
};

// The text of a .csv file of unknown encoding: UTF-8 when it is valid UTF-8 (a byte order mark is
// dropped), GBK otherwise. A file mostly in UTF-8 with lines that are not is refused, naming the first
// such line: read as GBK it would turn every Chinese text to nonsense. Raises FileError (without the
// file's name). Exposed for tests.
QString decodeCsvBytes(const QByteArray& bytes);

}  // namespace hx
