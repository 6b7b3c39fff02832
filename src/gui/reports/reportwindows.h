#pragma once

#include <QObject>

#include "core/reports/rvsystem.h"

class QWidget;

namespace hx {

// The program's own windows of a report run, owned by `owner`: the output setup (TmyRpSetupFrm), the
// status window with its Cancel (TmyRpStatusFrm) and the preview (TmyPreviewFrm); printing goes to the
// system printer.
void useProgramReportWindows(TRvSystem& system, QWidget* owner);

// The window handlers useProgramReportWindows sets, one step of a window's cycle each.
void reportSetupWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form);
void reportStatusWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form);
void reportPreviewWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form);

}  // namespace hx
