#include "szdd/szdd.h"
