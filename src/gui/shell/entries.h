#pragma once

#include <QString>
#include <functional>

namespace hx {

class WorkWindow;

// The six entries of the main panel, in their order on the panel.
enum class Entry { Staff, Job, JobData, Analyse, Salary, SalaryData };
constexpr int entryCount = 6;

struct EntryInfo {
    Entry entry;
    QString labelName;      // object name of the panel's label
    QString text;           // the label's text
    QString windowCaption;  // caption of the work window it opens
    // The role rule: the one role refused, or (when empty) only the accountant is let in.
    QString refusedRole;
};

const EntryInfo& entryInfo(Entry entry);
// True when the entry's role rule lets the role in.
bool entryAllows(Entry entry, const QString& role);

// Creates the entry's work window. The windows of the registers, piece work, statistics and payroll are
// plugged in here, one function per entry; registerWorkWindow replaces one (nullptr restores it).
using WorkWindowFactory = std::function<WorkWindow*()>;
void registerWorkWindow(Entry entry, WorkWindowFactory factory);
WorkWindow* createWorkWindow(Entry entry);

}  // namespace hx
