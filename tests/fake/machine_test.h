// Base fixture: a fresh fake machine for every test, and after every test
// the checks that hold for any run of the tool.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fake/fake_machine.h"

// Each of the |-joined fragments of `says` stands in `text`; one that
// begins with ! does not.
inline void ExpectSays(const std::string& text, const std::string& says, const std::string& row) {
    for (std::size_t at = 0, bar = 0; at <= says.size(); at = bar + 1) {
        bar = std::min(says.find('|', at), says.size());
        const std::string said = says.substr(at, bar - at);
        const bool absent = said.starts_with("!");
        EXPECT_EQ(text.find(said.substr(absent ? 1 : 0)) == std::string::npos, absent)
            << row << ": " << said << "\n"
            << text;
    }
}

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
