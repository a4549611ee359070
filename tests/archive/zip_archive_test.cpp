#include "archive/archive.h"
#include <gtest/gtest.h>
TEST(Zip, Placeholder) {}
