#pragma once
#include "ConnectionText.h"
#include "Paths.h"
