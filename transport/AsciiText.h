#pragma once

// The test server still includes the case-insensitive compare from here.
#include "common/AsciiText.h"
