#include "config/ApplySettings.h"

namespace tvr::config {

void ApplySettings(const LiveSettings& live, engine::TWindowState& window,
                   engine::TProcessDisplay& display) {
    const TDumpLoadSettings s = live.snapshot();
    display.SetStatusText(engine::PanelDumpDatabase, s.ComboDump);
    window.FLogPath = s.EditLogPath;
    window.FErrorLogPath = s.EditErrorLogPath;
    display.SetInfoRow(0, {"Main server", s.MainServerName, s.ComboDump, s.EditPathDump});
    if (window.UseReserve) {
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
