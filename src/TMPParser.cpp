#include "TMPParser.h"
