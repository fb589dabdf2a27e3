/* check.h: the C-host tests' one check: counts passes and failures and
   names a failing condition with its line on standard error. */
#pragma once
#include <stdio.h>

static int pass, fail;
#define CHECK(c)                                                       \
  do {                                                                 \
    if (c) pass++;                                                     \
    else {                                                             \
      fail++;                                                          \
      fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #c); \
    }                                                                  \
  } while (0)
