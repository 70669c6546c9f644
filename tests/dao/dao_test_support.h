#pragma once
#include "common/error_handler.h"

#include <string>
#include <vector>

extern std::vector<std::string> handled;
