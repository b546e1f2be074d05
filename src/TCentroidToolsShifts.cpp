#include "TCentroidTools.h"
