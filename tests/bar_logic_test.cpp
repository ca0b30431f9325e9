// Placeholder: written with its issue.
#include <gtest/gtest.h>
