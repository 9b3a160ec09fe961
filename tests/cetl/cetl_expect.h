#pragma once
// Checks that a statement throws cetl::exception with the given text.

#include <gtest/gtest.h>

#include <cstring>

#include "cetl/exception.h"

#define EXPECT_CETL_THROW(statement, text)                         \
  do {                                                             \
    try {                                                          \
      statement;                                                   \
      ADD_FAILURE() << #statement " did not throw";                \
    } catch (const cetl::exception& thrown) {                      \
      EXPECT_STREQ(thrown.message().Narrow(), text) << #statement; \
    }                                                              \
  } while (0)
