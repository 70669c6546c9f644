#include "ui_driver.h"
#include <gtest/gtest.h>
TEST(placeholder, app) { EXPECT_NE(&test_app(), nullptr); }
