#include "config/ApplySettings.h"

namespace tvr::config {

void ApplySettings(const LiveSettings& live, bool useReserve, engine::TProcessDisplay& display) {
    const TDumpLoadSettings s = live.snapshot();
    display.SetStatusText(engine::PanelDumpDatabase, s.ComboDump);
    display.SetInfoRow(0, {"Main server", s.MainServerName, s.ComboDump, s.EditPathDump});
    if (useReserve) {
        display.SetStatusText(engine::PanelLoadDatabase, s.ComboLoad);
        display.SetInfoRowCount(2);
        display.SetInfoRow(1, {"Reserve server", s.ReservServerName, s.ComboLoad, s.EditPathLoad});
    } else {
        for (int panel :
             {engine::PanelReserveServer, engine::PanelLoadDatabase, engine::PanelReserveLogin})
            display.SetStatusText(panel, "");
        display.SetInfoRowCount(1);
    }
}

}  // namespace tvr::config
