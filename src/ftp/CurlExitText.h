#pragma once

#include <QString>

// A readable reason for a failed curl run that printed nothing (every run is silent). Without it a
// wrong password or a closed port would show the user an empty error.
QString curlExitText(int exitStatus);
QString curlCrashText(int signal);
