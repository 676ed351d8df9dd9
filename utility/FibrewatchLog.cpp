#include "FibrewatchLog.h"

Q_LOGGING_CATEGORY(lcFibrewatch, "fibrewatch", QtInfoMsg)
