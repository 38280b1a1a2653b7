#pragma once

namespace veska {

// Which report handler the USB connect command installs (the model profile decides).
enum class UsbReportRoute { None, LumioReports, KestoReports, VeskaReports };

}  // namespace veska
