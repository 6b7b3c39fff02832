#include "core/reports/payslip.h"

#include <QHash>

#include "core/data/dataset.h"
#include "core/payroll/formula.h"

namespace hx {

namespace {

constexpr double mmPerInch = 25.4;

TRaveComponent* component(TRaveProjectManager& project, TRavePage* page, const QString& name) {
    TRaveComponent* c = project.FindRaveComponent(name, page);
    if (!c)
        throw ReportError(
            QStringLiteral("报表工程 rptBar.rav 的页面 report1.page1 中缺少组件 %1。").arg(name));
    return c;
}

void place(TRaveComponent* heading, TRaveComponent* value, double leftMm, double widthMm) {
    for (TRaveComponent* c : {heading, value}) {
        c->Left = leftMm / mmPerInch;
        c->Width = widthMm / mmPerInch;
    }
}

}  // namespace

SlipLayoutData readSlipLayoutData(DataSet& scratch, int year, int month) {
    SlipLayoutData data;
    if (scratch.isOpen()) scratch.close();
    scratch.setSql(QStringLiteral("select wCode,wName from wCodeName"));
    scratch.setParams({});
    scratch.open();
    data.wCode = int(scratch.asInt(QStringLiteral("wCode")));
    data.wName = int(scratch.asInt(QStringLiteral("wName")));
    scratch.close();
    scratch.setSql(
        QStringLiteral("select ItemCode, ItemName, PrintWidth from salary  where year=? and month=? "
                       "order by ItemCode"));
    scratch.setParams({year, month});
    scratch.open();
    for (scratch.first(); !scratch.eof(); scratch.next())
        data.items.push_back({scratch.asString(QStringLiteral("ItemCode")),
                              scratch.asString(QStringLiteral("ItemName")),
                              int(scratch.asInt(QStringLiteral("PrintWidth")))});
    scratch.close();
    return data;
}

void layoutPaySlip(TRaveProjectManager& project, const SlipLayoutData& data) {
    TRavePage* page = project.findPage(QStringLiteral("report1.page1"));
    if (!page) throw ReportError(QStringLiteral("报表工程 rptBar.rav 中缺少页面 report1.page1。"));
    auto pair = [&](int n) {
        return std::pair{component(project, page, QStringLiteral("Text%1").arg(n)),
                         component(project, page, QStringLiteral("DataText%1").arg(n))};
    };
    auto [code, codeValue] = pair(1);
    static_cast<TRaveText*>(code)->Text = QStringLiteral("工号");
    place(code, codeValue, 0, data.wCode);
    auto [name, nameValue] = pair(2);
    static_cast<TRaveText*>(name)->Text = QStringLiteral("姓名");
    place(name, nameValue, data.wCode, data.wName);

    // Every item pair is hidden unless the month has a named item with a width for it.
    const QStringList& codes = salaryItemCodes();
    QVector<std::pair<TRaveComponent*, TRaveComponent*>> pairs;
    for (int k = 0; k < codes.size(); ++k) {
        pairs << pair(k + 3);
        pairs.last().first->Visible = false;
        pairs.last().second->Visible = false;
    }
    int x = data.wCode + data.wName;
    for (const SlipItem& item : data.items) {
        const int k = salaryItemIndex(item.code);
        if (k < 0) continue;
        auto [heading, value] = pairs[k];
        if (item.printWidth > 0 && !item.name.isEmpty()) {
            static_cast<TRaveText*>(heading)->Text = item.name;
            heading->Visible = value->Visible = true;
            place(heading, value, x, item.printWidth);
            x += item.printWidth;
        }
    }
}

QHash<QString, QString> paySlipParameters(int year, int month, int day) {
    return {{QStringLiteral("Year"), QString::number(year)},
            {QStringLiteral("Month"), QString::number(month)},
            {QStringLiteral("Day"), QString::number(day)}};
}

}  // namespace hx
