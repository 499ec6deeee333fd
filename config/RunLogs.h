#pragma once
// The two log files of a run, named once at start for the whole run (a run of several days
// keeps writing to the files of the day it began), from the live settings and the profile.
#include "config/LiveSettings.h"
#include "config/Logons.h"

namespace tvr::config {

// Names the activity and the error log after the main database (and the profile, when it is
// not the default one) in their folders, makes the folders, and makes them the process's log
// files (client::setLogFileNames). An empty folder setting is told in an "Error" box: the
// file then goes to the SYBASE folder. A folder that cannot be made is not reported here:
// writing the first entry is.
LogFileNames openRunLogs(const LiveSettings& live);

}  // namespace tvr::config
