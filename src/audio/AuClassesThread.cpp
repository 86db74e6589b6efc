#include "audio/AuClassesThread.h"
