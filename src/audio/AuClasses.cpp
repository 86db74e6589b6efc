#include "audio/AuClasses.h"
