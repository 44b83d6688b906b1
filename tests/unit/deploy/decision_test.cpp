#include "deploy/decision.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ssdprep::deploy::ChildOutcome;
using ssdprep::deploy::Facts;
using ssdprep::deploy::Options;
using ssdprep::deploy::Step;
using Kind = ChildOutcome::Kind;

ChildOutcome Code(std::int32_t code) { return ChildOutcome{Kind::Ended, code}; }
const ChildOutcome kNotStarted{Kind::NotStarted, 0};
const ChildOutcome kTimedOut{Kind::TimedOut, 0};

// A machine's answers to each step; --after answers in turn, then its last
// answer again. A poll waits three seconds and --after takes none, so that
// one --after ends at 15 seconds exactly.
struct World {
    Options options;
    bool evidence;
    ChildOutcome report;
    bool stateWritable;
    ChildOutcome tool;
    std::vector<ChildOutcome> after;
};

struct Trace {
    std::string steps;  // R report, W state, T tool, A --after, P poll and --after
    int exitCode;
    ChildOutcome lastAfter{};
};

Trace Deploy(const World& world) {
    Facts facts;
    facts.evidence = world.evidence;
    Trace run{"", -1, kNotStarted};
    std::uint32_t clock = 0;
    const auto next = ssdprep::deploy::RunSteps(world.options, facts, [&](Step step, Facts& f) {
        run.steps += "RWTAP"[static_cast<int>(step)];
        if (run.steps.size() > 40) {
            throw std::runtime_error("no end: " + run.steps);
        }
        switch (step) {
            case Step::Report:
                f.report = world.report;
                break;
            case Step::WriteState:
                f.stateWritten = world.stateWritable;
                break;
            case Step::RunTool:
                f.tool = world.tool;
                break;
            case Step::PollAfter:
                clock += ssdprep::deploy::kPollMilliseconds;
                [[fallthrough]];
            case Step::After:
                run.lastAfter = world.after[std::min(f.after.size(), world.after.size() - 1)];
                f.after.push_back(run.lastAfter);
                f.sinceToolEnded = f.tool ? clock : 0;
                break;
            case Step::Finish:
                break;
        }
    });
    EXPECT_FALSE(next.why.empty());
    run.exitCode = next.exitCode;
    return run;
}

// Every row of the decision, with the steps it takes.
TEST(DeployDecision, TakesTheStepsOfEachRow) {
    const Options none{};
    const Options declineStops{true, false};
    const Options createAnyway{false, true};
    struct Row {
        const char* name;
        World world;
        Trace expected;
    };
    const Row rows[] = {
        {"evidence, done", {none, true, Code(0), true, Code(0), {Code(0)}}, {"A", 0}},
        {"evidence, not done", {none, true, Code(0), true, Code(0), {Code(1)}}, {"A", 3}},
        {"evidence, --after crashes",
         {none, true, Code(0), true, Code(0), {Code(-1073741819)}},
         {"A", 3}},
        {"would change", {none, false, Code(0), true, Code(0), {Code(0)}}, {"RWTA", 0}},
        {"declined", {none, false, Code(1), true, Code(0), {Code(0)}}, {"R", 0}},
        {"declined, --decline-stops",
         {declineStops, false, Code(1), true, Code(0), {Code(0)}},
         {"R", 3}},
        {"would stop", {none, false, Code(3), true, Code(0), {Code(0)}}, {"R", 3}},
        {"nothing to delete, done",
         {declineStops, false, Code(4), true, Code(0), {Code(0)}},
         {"RA", 0}},
        {"nothing to delete, not done",
         {none, false, Code(4), true, Code(0), {Code(1)}},
         {"RA", 0}},
        {"nothing to delete, not done, --decline-stops",
         {declineStops, false, Code(4), true, Code(0), {Code(1)}},
         {"RA", 3}},
        {"nothing to delete, --after does not end",
         {none, false, Code(4), true, Code(0), {kTimedOut}},
         {"RA", 3}},
        {"nothing to delete, --create-without-hibernation",
         {createAnyway, false, Code(4), true, Code(0), {Code(0)}},
         {"RWTA", 0}},
        {"create anyway, but declined",
         {createAnyway, false, Code(1), true, Code(0), {Code(0)}},
         {"R", 0}},
        {"report usage error", {none, false, Code(2), true, Code(0), {Code(0)}}, {"R", 3}},
        {"report crashes", {none, false, Code(-1073741819), true, Code(0), {Code(0)}}, {"R", 3}},
        {"report missing", {none, false, kNotStarted, true, Code(0), {Code(0)}}, {"R", 3}},
        {"report hangs", {none, false, kTimedOut, true, Code(0), {Code(0)}}, {"R", 3}},
        {"state not writable", {none, false, Code(0), false, Code(0), {Code(0)}}, {"RW", 3}},
        {"tool 1", {none, false, Code(0), true, Code(1), {Code(0)}}, {"RWT", 3}},
        {"tool 2", {none, false, Code(0), true, Code(2), {Code(0)}}, {"RWT", 3}},
        {"tool 259", {none, false, Code(0), true, Code(259), {Code(0)}}, {"RWT", 3}},
        {"tool crashes",
         {none, false, Code(0), true, Code(static_cast<std::int32_t>(0xC0000005)), {Code(0)}},
         {"RWT", 3}},
        {"tool never ends", {none, false, Code(0), true, kTimedOut, {Code(0)}}, {"RWT", 3}},
        {"tool missing", {none, false, Code(0), true, kNotStarted, {Code(0)}}, {"RWT", 3}},
        {"volume mounted late",
         {none, false, Code(0), true, Code(0), {Code(1), Code(1), Code(0)}},
         {"RWTAPP", 0}},
        {"never done: polls for 15 seconds",
         {none, false, Code(0), true, Code(0), {Code(1)}},
         {"RWTAPPPPP", 3}},
        {"--after fails after the tool",
         {none, false, Code(0), true, Code(0), {Code(2)}},
         {"RWTA", 3}},
        {"--after missing after the tool",
         {none, false, Code(0), true, Code(0), {Code(1), kNotStarted}},
         {"RWTAP", 3}},
    };
    for (const Row& row : rows) {
        const Trace run = Deploy(row.world);
        EXPECT_EQ(run.steps, row.expected.steps) << row.name;
        EXPECT_EQ(run.exitCode, row.expected.exitCode) << row.name;
    }
    EXPECT_EQ(ssdprep::deploy::Describe(Code(-1073741819)),
              "ended with exit code -1073741819 (0xC0000005)");
}

// Over every combination of the inputs' classes: 0 or 3 only; 0 only when
// --after said 0 last, or when the tool never ran and the report said 1 or
// 4 without --decline-stops; never the tool after evidence.
TEST(DeployDecision, EndsInZeroOnlyWhenDoneOrLeftAlone) {
    const ChildOutcome reports[] = {kNotStarted, kTimedOut, Code(0), Code(1),
                                    Code(2),     Code(3),   Code(4), Code(-1073741819)};
    const ChildOutcome tools[] = {kNotStarted,
                                  kTimedOut,
                                  Code(0),
                                  Code(1),
                                  Code(2),
                                  Code(259),
                                  Code(static_cast<std::int32_t>(0xC0000005))};
    const std::vector<ChildOutcome> afters[] = {
        {Code(0)},     {Code(1)},   {Code(1), Code(0)}, {Code(2)},
        {kNotStarted}, {kTimedOut}, {Code(-1073741819)}};
    int runs = 0;
    for (int options = 0; options < 4; ++options) {
        for (const bool evidence : {false, true}) {
            for (const ChildOutcome& report : reports) {
                for (const bool writable : {false, true}) {
                    for (const ChildOutcome& tool : tools) {
                        for (const std::vector<ChildOutcome>& after : afters) {
                            const World world{{(options & 1) != 0, (options & 2) != 0},
                                              evidence,
                                              report,
                                              writable,
                                              tool,
                                              after};
                            const Trace run = Deploy(world);
                            const bool toolRan = run.steps.find('T') != std::string::npos;
                            const bool reportRan = run.steps.find('R') != std::string::npos;
                            const bool leftAlone = reportRan && !toolRan &&
                                                   !world.options.declineStops &&
                                                   (report.EndedWith(1) || report.EndedWith(4));
                            ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.steps;
                            ASSERT_TRUE(run.exitCode == 3 || run.lastAfter.EndedWith(0) ||
                                        leftAlone)
                                << run.steps;
                            ASSERT_FALSE(evidence && (toolRan || reportRan)) << run.steps;
                            ASSERT_FALSE(toolRan && !writable) << run.steps;
                            ++runs;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(runs, 4 * 2 * 8 * 2 * 7 * 7);
}

}  // namespace
