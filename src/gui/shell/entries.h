#pragma once

#include <QString>
#include <functional>

namespace hx {

class WorkWindow;

// The entries of the main panel, in their order on the panel.
enum class Entry { Staff, Job, JobData, Analyse, Salary, SalaryData, Production };
constexpr int entryCount = 7;

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

// Opens an entry's window as a click on its label does and returns the entry's window (nullptr when
// none is open, as after the role rule refused it).
using EntryOpener = std::function<WorkWindow*(Entry)>;
// Links a newly created window to the entries it leads on to, which it reaches through `open`: a sheet
// generated in the salary setup opens the salary sheet on the new batch.
void linkWorkWindow(WorkWindow* window, EntryOpener open);

}  // namespace hx
