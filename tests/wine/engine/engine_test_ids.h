#pragma once
#include "setup.h"

#define IDD_ENGINE_TEST 200
#define IDC_PARK        1100
