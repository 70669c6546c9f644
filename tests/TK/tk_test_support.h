#pragma once
#include "tests/support/temp_folder.h"

// A fresh folder under TMPDIR, removed with its content at the end.
using qm_test::temp_folder;
