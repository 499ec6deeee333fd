#include "config/ProcedureMarker.h"

namespace tvr::config {

bool readProcedureInstalled(const platform::Registry& registry) {
    std::uint32_t value = 0;
    return registry.readDWord(kProcedureMarkerKey, kProcedureMarkerValue, value) ==
               platform::RegStatus::Ok &&
           value == 1;
}

void writeProcedureInstalled(platform::Registry& registry) {
    registry.writeDWord(kProcedureMarkerKey, kProcedureMarkerValue, 1);
}

}  // namespace tvr::config
