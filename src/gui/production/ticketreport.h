#pragma once

#include <QtGlobal>
#include <vector>

class QWidget;

namespace hx {

class Connection;

// Prints the tickets of the bundles through the report windows of the program: makes the tickets they
// lack (a bundle printed again keeps its codes), then asks where they go in the output setup (preview,
// printer or a PDF file), lays them out with the status window's progress and Cancel, and shows or writes
// them. Returns when the last window of the run is closed; a failure is shown in the error box.
void printBundleTickets(QWidget* owner, Connection& cn, const std::vector<qint64>& bundleIds);

}  // namespace hx
