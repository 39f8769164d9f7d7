// Choosing the vector target: restricting to one the processor runs, refusing what it cannot run,
// and the environment variable that measures the program as a smaller processor runs it.
#include "shell/vector_targets.h"
#include "tests/support/vector_targets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class VectorTargets : public testing::Test {
protected:
    void TearDown() override {
        unsetenv("CELLVANE_VECTOR_TARGET");
        restrictVectorTarget(0);
    }
};

TEST_F(VectorTargets, TheBestRunnableTargetIsActiveUnlessRestricted) {
    const std::int64_t runnable = processorVectorTargets();
    ASSERT_NE(runnable, 0);
    EXPECT_EQ(runnable & ~builtVectorTargets(), 0) << "a target that was not built counts as runnable";
    EXPECT_EQ(activeVectorTarget(), runnable & -runnable);
    for (const std::int64_t target : runnableVectorTargets()) {
        ASSERT_TRUE(restrictVectorTarget(target)) << vectorTargetName(target);
        EXPECT_EQ(activeVectorTarget(), target) << vectorTargetName(target);
    }
    ASSERT_TRUE(restrictVectorTarget(0));
    EXPECT_EQ(activeVectorTarget(), runnable & -runnable);
    reportVectorTargets("VectorTargets.TheBestRunnableTargetIsActiveUnlessRestricted");
}

TEST_F(VectorTargets, TargetsThatCannotRunAreRefusedAndChangeNothing) {
    const std::int64_t before = activeVectorTarget();
    // Two targets at once, a target never built, and every built one the processor lacks.
    EXPECT_FALSE(restrictVectorTarget(builtVectorTargets()));
    EXPECT_FALSE(restrictVectorTarget(std::int64_t{1} << 40));
    for (std::int64_t bits = builtVectorTargets() & ~processorVectorTargets(); bits != 0; bits &= bits - 1)
        EXPECT_FALSE(restrictVectorTarget(bits & -bits)) << vectorTargetName(bits & -bits);
    EXPECT_EQ(activeVectorTarget(), before);
}

TEST_F(VectorTargets, TheEnvironmentVariableNamesATarget) {
    const std::vector<std::int64_t> targets = runnableVectorTargets();
    const std::int64_t last = targets.back();  // the narrowest: portable C++ on every processor
    setenv("CELLVANE_VECTOR_TARGET", vectorTargetName(last), 1);
    testing::internal::CaptureStderr();
    restrictVectorTargetFromEnvironment();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(activeVectorTarget(), last);
}

TEST_F(VectorTargets, AnUnknownNameIsReportedAndChangesNothing) {
    const std::int64_t before = activeVectorTarget();
    setenv("CELLVANE_VECTOR_TARGET", "AVX9", 1);
    testing::internal::CaptureStderr();
    restrictVectorTargetFromEnvironment();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, std::string("CELLVANE_VECTOR_TARGET=AVX9: no such target; using ") + vectorTargetName(before) + "\n");
    EXPECT_EQ(activeVectorTarget(), before);
}

}  // namespace
