#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace hxtest {

// A temporary program directory with a fresh system store and template; ProgramDir() points at it for
// the object's lifetime.
class TempProgramDir {
  public:
    TempProgramDir();
    ~TempProgramDir();
    QString path() const;  // with a trailing slash
    QString file(const QString& name) const { return path() + name; }
    // Copies the template to NAME.mdb and returns its full path.
    QString createAccountSet(const QString& name) const;

  private:
    QTemporaryDir m_dir;
};

// Writes an .xlsx workbook of text cells: each sheet by its name, with its rows.
using SheetTexts = QPair<QString, QList<QStringList>>;
void writeWorkbook(const QString& path, const QList<SheetTexts>& sheets);

}  // namespace hxtest
