#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {
// Leaves no quit message or pending task of one test to the next one in the same process.
class ThreadStateReset : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        test::ResetThreadState();
        // The pointer away from where tests put their windows: one left over a window that the
        // next test makes there would hover it (a button shows its hot image).
        ::SetCursorPos(0, 0);
    }
    void OnTestEnd(const testing::TestInfo&) override { test::ResetThreadState(); }
};
} // namespace

int main(int argc, char** argv) {
    // A crash must fail the test, not open a dialog nobody answers.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ThreadStateReset);
    return RUN_ALL_TESTS();
}
