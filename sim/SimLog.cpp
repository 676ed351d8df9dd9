#include "SimLog.h"

Q_LOGGING_CATEGORY(lcSim, "sim", QtInfoMsg)
