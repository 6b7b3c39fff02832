#include "gui/production/ticketreport.h"

#include "core/production/production.h"
#include "core/production/ticketlayout.h"
#include "core/reports/rvsystem.h"
#include "gui/reports/reportwindows.h"
#include "gui/widgets/dialogs.h"

namespace hx {

void printBundleTickets(QWidget* owner, Connection& cn, const std::vector<qint64>& bundleIds) {
    if (bundleIds.empty()) {
        Dialogs::get().information(QStringLiteral("请先选择要打印菲票的扎。"));
        return;
    }
    guarded([&] {
        // Made before the setup is asked: a bundle that cannot have tickets is told at once.
        const std::vector<TicketStrip> strips = makeTickets(cn, bundleIds);
        TRvSystem system;
        useProgramReportWindows(system, owner);
        system.SystemPrinter.Title = QStringLiteral("菲票");
        system.TitlePreview = QStringLiteral("菲票预览");
        system.execute(
            [&strips](const GenerateOptions& options) { return layoutTickets(strips, options.progress); });
    });
}

}  // namespace hx
