#pragma once
#include "DbProcedures.h"
#include "Messages.h"
#include "Values.h"
