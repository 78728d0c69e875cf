#pragma once

#include <gtest/gtest.h>

// The preambles of tests that need something of the machine: each skips the test with the
// reason when it is missing, and takes further words streamed after it. Written as if/else so
// that an else after them binds as it reads.

// `mount` (a TmpfsMount or an ImageMount) is not there.
#define VELQUIN_SKIP_UNLESS_MOUNTED(mount)                                                                   \
    if (const auto& velquinMount_ = (mount); velquinMount_.mounted()) {                                      \
    } else                                                                                                   \
        GTEST_SKIP() << velquinMount_.error().toStdString()

// The ImmutableGuard `guard` could not set the flag.
#define VELQUIN_SKIP_UNLESS_IMMUTABLE(guard)                                                                 \
    if (const auto& velquinGuard_ = (guard); velquinGuard_.set()) {                                          \
    } else                                                                                                   \
        GTEST_SKIP() << "the immutable flag is not available here: " << velquinGuard_.error().toStdString()

// The TestDirs `a` and `b` do not lie on two file systems.
#define VELQUIN_SKIP_UNLESS_TWO_FILE_SYSTEMS(a, b)                                                           \
    if (const QString velquinWhy_ = velquin::test::notTwoFileSystems((a), (b)); velquinWhy_.isEmpty()) {     \
    } else                                                                                                   \
        GTEST_SKIP() << velquinWhy_.toStdString()

namespace velquin::test {
// The exit code of a forked child that could not become nobody (see becomeNobody).
inline constexpr int kNoNobody = 100;
} // namespace velquin::test

#define VELQUIN_SKIP_IF_NO_NOBODY(code)                                                                      \
    if ((code) != velquin::test::kNoNobody) {                                                                \
    } else                                                                                                   \
        GTEST_SKIP() << "cannot become nobody here"
