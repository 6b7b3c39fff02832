#include "gui/shell/entries.h"

#include <array>

#include "gui/payroll/salary.h"
#include "gui/payroll/salarydata.h"
#include "gui/piecework/jobdata.h"
#include "gui/production/orders.h"
#include "gui/registers/job.h"
#include "gui/registers/staff.h"
#include "gui/shell/session.h"
#include "gui/statistics/analyse.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

const std::array<EntryInfo, entryCount>& entries() {
    static const std::array<EntryInfo, entryCount> table{{
        {Entry::Staff, QStringLiteral("lblStaff"), QStringLiteral("员工登记"), QStringLiteral("员工编号"),
         roleProduction},
        {Entry::Job, QStringLiteral("lblJob"), QStringLiteral("工序登记"), QStringLiteral("工序编号"),
         rolePersonnel},
        {Entry::JobData, QStringLiteral("lblJobData"), QStringLiteral("计件数据"), QStringLiteral("计件数"),
         rolePersonnel},
        {Entry::Analyse, QStringLiteral("lblAnalyse"), QStringLiteral("统计分析"), QStringLiteral("统计分析"),
         QString()},
        {Entry::Salary, QStringLiteral("lblSalary"), QStringLiteral("工资设置"), QStringLiteral("工资设置"),
         QString()},
        {Entry::SalaryData, QStringLiteral("lblSalaryData"), QStringLiteral("工  资  表"),
         QStringLiteral("工资表"), QString()},
        {Entry::Production, QStringLiteral("lblProduction"), QStringLiteral("生产单"),
         QStringLiteral("生产单"), rolePersonnel},
    }};
    return table;
}

// One function per entry: each creates that entry's window.
WorkWindow* createStaffFrm() {
    return new TstaffFrm;
}
WorkWindow* createJobFrm() {
    return new TjobFrm;
}
WorkWindow* createJobDataFrm() {
    return new TjobDataFrm;
}
WorkWindow* createAnalyseFrm() {
    return new TAnalyseFrm(curAccountSet);
}
WorkWindow* createSalaryFrm() {
    return new TsalaryFrm;
}
WorkWindow* createSalaryDataFrm() {
    return new TsalaryDataFrm;
}
WorkWindow* createOrderFrm() {
    return new TorderFrm;
}

WorkWindowFactory builtIn(Entry entry) {
    switch (entry) {
        case Entry::Staff:
            return createStaffFrm;
        case Entry::Job:
            return createJobFrm;
        case Entry::JobData:
            return createJobDataFrm;
        case Entry::Analyse:
            return createAnalyseFrm;
        case Entry::Salary:
            return createSalaryFrm;
        case Entry::SalaryData:
            return createSalaryDataFrm;
        case Entry::Production:
            return createOrderFrm;
    }
    return nullptr;
}

std::array<WorkWindowFactory, entryCount>& registered() {
    static std::array<WorkWindowFactory, entryCount> factories;
    return factories;
}

}  // namespace

const EntryInfo& entryInfo(Entry entry) {
    return entries()[static_cast<int>(entry)];
}

bool entryAllows(Entry entry, const QString& role) {
    const EntryInfo& info = entryInfo(entry);
    if (info.refusedRole.isEmpty()) return role == roleAccountant;
    return role != info.refusedRole;
}

void registerWorkWindow(Entry entry, WorkWindowFactory factory) {
    registered()[static_cast<int>(entry)] = std::move(factory);
}

WorkWindow* createWorkWindow(Entry entry) {
    const WorkWindowFactory& factory = registered()[static_cast<int>(entry)];
    return factory ? factory() : builtIn(entry)();
}

void linkWorkWindow(WorkWindow* window, EntryOpener open) {
    if (auto* setup = qobject_cast<TsalaryFrm*>(window)) {
        QObject::connect(setup, &TsalaryFrm::sheetGenerated, setup, [open](int year, int month, int day) {
            // An open sheet window turns to the new batch too, so that the accountant never looks at the
            // rows the generation just replaced.
            if (auto* sheet = qobject_cast<TsalaryDataFrm*>(open(Entry::SalaryData)))
                guarded([&] { sheet->showBatch({year, month, day}); });
        });
    }
}

}  // namespace hx
