#include "tests/rigs/rigs.h"
