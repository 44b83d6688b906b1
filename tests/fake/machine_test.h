// Base fixture: a fresh fake machine for every test, and after every test
// the checks that hold for any run of the tool.
#pragma once

#include <gtest/gtest.h>

#include "fake/fake_machine.h"

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override {
        const fake::Machine& m = fake::Current();
        EXPECT_EQ(m.OpenResourceCount(), 0u) << "a handle, key or block was left open";
        EXPECT_TRUE(m.releaseErrors.empty()) << "released twice or never obtained: "
                                             << (m.releaseErrors.empty() ? "" : m.releaseErrors[0]);
        EXPECT_LE(m.maxOpenDrives, 1u) << "more than one drive handle open at a time";
    }
    static fake::Machine& machine() { return fake::Current(); }
};
