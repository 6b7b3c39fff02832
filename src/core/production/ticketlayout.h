#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "core/production/production.h"
#include "core/reports/rvengine.h"

namespace hx {

// The bundle tickets as A4 portrait pages: per bundle a strip, several strips to a page with dashed cut
// lines between them. A strip has a header with the order, style, colour, size, bundle number and pieces,
// and below it one tear-off ticket per process in rows of five: the process number and description, the
// pieces, the bundle, the QR code of the ticket's code and the code as text for hand entry. A strip whose
// tickets do not fit on one page goes on at the top of the next, its header marked as continued.
//
// The QR codes have modules of 0.5 mm and a blank border of more than four modules, so that a phone or a
// hand scanner reads them from paper and a 300 dpi scan decodes.
//
// progress(page) is called after each page; returning false gives up (nothing is returned then).
std::optional<Snapshot> layoutTickets(const std::vector<TicketStrip>& strips,
                                      const std::function<bool(int page)>& progress = {});

// A ticket code as printed: in groups of three digits ("123 456 789"), which the scanning accepts as typed.
QString groupedTicketCode(const QString& code);

}  // namespace hx
