#include "support/coresupport.h"

#include <xlsxwriter.h>

#include <QFile>

#include "core/data/programdir.h"
#include "core/data/schema.h"

namespace hxtest {

TempProgramDir::TempProgramDir() {
    hx::createSystemStore(file(QStringLiteral("sysunit.dll")));
    hx::createAccountSetTemplate(file(QStringLiteral("mlcp.dll")));
    hx::setProgramDirOverride(path());
}

TempProgramDir::~TempProgramDir() {
    hx::setProgramDirOverride(QString());
}

QString TempProgramDir::path() const {
    return m_dir.path() + QLatin1Char('/');
}

QString TempProgramDir::createAccountSet(const QString& name) const {
    const QString target = file(name + QStringLiteral(".mdb"));
    QFile::copy(file(QStringLiteral("mlcp.dll")), target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

void writeWorkbook(const QString& path, const QList<SheetTexts>& sheets) {
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    if (!book) qFatal("cannot write %s", qPrintable(path));
    for (const SheetTexts& sheet : sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(book, sheet.first.toUtf8().constData());
        for (int r = 0; r < sheet.second.size(); ++r)
            for (int c = 0; c < sheet.second[r].size(); ++c)
                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c),
                                       sheet.second[r][c].toUtf8().constData(), nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR) qFatal("cannot write %s", qPrintable(path));
}

}  // namespace hxtest
