#include "TPointTools.h"
