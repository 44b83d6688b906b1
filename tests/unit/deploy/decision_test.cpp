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
    bool doneHere = false;    // the evidence says done on this disk
    bool unfinished = false;  // ... or started and not done
    bool removable = true;    // --forget removes everything
};

struct Trace {
    std::string steps;  // R report, W state, T tool, A --after, P poll and --after, X remove
    int exitCode;
    ChildOutcome lastAfter{};
};

Trace Deploy(const World& world) {
    Facts facts;
    facts.evidence = world.evidence;
    facts.doneHere =
        world.doneHere ? std::optional<std::string>("2026-12-01 10:00:30") : std::nullopt;
    facts.unfinished = world.unfinished;
    Trace run{"", -1, kNotStarted};
    std::uint32_t clock = 0;
    const auto next = ssdprep::deploy::RunSteps(world.options, facts, [&](Step step, Facts& f) {
        run.steps += "RWTAPX"[static_cast<int>(step)];
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
            case Step::Remove:
                f.removed = world.removable;
                break;
            case Step::Finish:
                break;
        }
    });
    EXPECT_FALSE(next.why.empty());
    run.exitCode = next.exitCode;
    return run;
}

// Every row of the decision, with the steps it takes: R report, W state
// file, T tool, A --after, P a poll and --after again.
TEST(DeployDecision, TakesTheStepsOfEachRow) {
    const Options none{}, stops{true, false}, anyway{false, true}, forget{false, false, true};
    const ChildOutcome c0 = Code(0), c1 = Code(1), c2 = Code(2), c4 = Code(4);
    const ChildOutcome crash = Code(static_cast<std::int32_t>(0xC0000005));
    struct Row {
        const char* name;
        World world;
        const char* steps;
        int exitCode;
    };
    // clang-format off
    const Row rows[] = {
        {"evidence, done", {none, true, c0, true, c0, {c0}}, "A", 0},
        {"evidence, not done", {none, true, c0, true, c0, {c1}}, "A", 3},
        {"evidence, --after crashes", {none, true, c0, true, c0, {crash}}, "A", 3},
        {"done on this disk, --after now 1", {none, true, c0, true, c0, {c1}, true}, "A", 0},
        {"--forget, done on this disk", {forget, true, c0, true, c0, {c1}, true}, "X", 0},
        {"--forget, unfinished on this disk", {forget, true, c0, true, c0, {c0}, true, true}, "", 3},
        {"--forget, evidence found done by --after", {forget, true, c0, true, c0, {c0}}, "AX", 0},
        {"--forget, evidence not done", {forget, true, c0, true, c0, {c1}}, "A", 3},
        {"--forget, nothing that counts", {forget, false, c0, true, c0, {c1}}, "X", 0},
        {"--forget, something not removed", {forget, false, c0, true, c0, {c0}, false, false, false}, "X", 3},
        {"would change", {none, false, c0, true, c0, {c0}}, "RWTA", 0},
        {"declined", {none, false, c1, true, c0, {c0}}, "R", 0},
        {"declined, --decline-stops", {stops, false, c1, true, c0, {c0}}, "R", 3},
        {"would stop", {none, false, Code(3), true, c0, {c0}}, "R", 3},
        {"would half change", {none, false, Code(5), true, c0, {c0}}, "R", 3},
        {"nothing to delete, done", {stops, false, c4, true, c0, {c0}}, "RA", 0},
        {"nothing to delete, not done", {none, false, c4, true, c0, {c1}}, "RA", 0},
        {"nothing to delete, not done, --decline-stops", {stops, false, c4, true, c0, {c1}}, "RA", 3},
        {"nothing to delete, --after does not end", {none, false, c4, true, c0, {kTimedOut}}, "RA", 3},
        {"nothing to delete, --create-without-hibernation", {anyway, false, c4, true, c0, {c0}}, "RWTA", 0},
        {"declined, --create-without-hibernation", {anyway, false, c1, true, c0, {c0}}, "R", 0},
        {"report usage error", {none, false, c2, true, c0, {c0}}, "R", 3},
        {"report crashes", {none, false, Code(-1073741819), true, c0, {c0}}, "R", 3},
        {"report missing", {none, false, kNotStarted, true, c0, {c0}}, "R", 3},
        {"report hangs", {none, false, kTimedOut, true, c0, {c0}}, "R", 3},
        {"state file not writable", {none, false, c0, false, c0, {c0}}, "RW", 3},
        {"tool 1", {none, false, c0, true, c1, {c0}}, "RWT", 3},
        {"tool 2", {none, false, c0, true, c2, {c0}}, "RWT", 3},
        {"tool 259", {none, false, c0, true, Code(259), {c0}}, "RWT", 3},
        {"tool crashes", {none, false, c0, true, crash, {c0}}, "RWT", 3},
        {"tool never ends", {none, false, c0, true, kTimedOut, {c0}}, "RWT", 3},
        {"tool missing", {none, false, c0, true, kNotStarted, {c0}}, "RWT", 3},
        {"volume mounted late", {none, false, c0, true, c0, {c1, c1, c0}}, "RWTAPP", 0},
        {"never done: polls for 15 seconds", {none, false, c0, true, c0, {c1}}, "RWTAPPPPP", 3},
        {"--after fails after the tool", {none, false, c0, true, c0, {c2}}, "RWTA", 3},
        {"--after missing after the tool", {none, false, c0, true, c0, {c1, kNotStarted}}, "RWTAP", 3},
    };
    // clang-format on
    for (const Row& row : rows) {
        const Trace run = Deploy(row.world);
        EXPECT_EQ(run.steps, row.steps) << row.name;
        EXPECT_EQ(run.exitCode, row.exitCode) << row.name;
    }
    EXPECT_EQ(ssdprep::deploy::Describe(Code(-1073741819)),
              "ended with exit code -1073741819 (0xC0000005)");
}

// Over every combination of the inputs' classes: 0 or 3 only; 0 only when
// --after said 0 last, or when the tool never ran and the report said 1 or
// 4 without --decline-stops; never the report or the tool after evidence,
// nor the tool without its state file.
TEST(DeployDecision, EndsInZeroOnlyWhenDoneOrLeftAlone) {
    const ChildOutcome crash = Code(-1073741819);
    const std::vector<ChildOutcome> reports = {kNotStarted, kTimedOut, Code(0), Code(1), Code(2),
                                               Code(3),     Code(4),   Code(5), crash};
    const std::vector<ChildOutcome> tools = {kNotStarted, kTimedOut, Code(0), Code(1),
                                             Code(2),     Code(259), crash};
    const std::vector<std::vector<ChildOutcome>> afters = {
        {Code(0)}, {Code(1)}, {Code(1), Code(0)}, {Code(2)}, {kNotStarted}, {kTimedOut}, {crash}};
    const std::size_t combinations = 4 * 2 * 2 * reports.size() * tools.size() * afters.size();
    for (std::size_t i = 0; i < combinations; ++i) {
        std::size_t rest = i;
        const auto next = [&rest](std::size_t count) {
            const std::size_t index = rest % count;
            rest /= count;
            return index;
        };
        const std::size_t options = next(4);
        const bool evidence = next(2) == 1;
        const bool writable = next(2) == 1;
        const ChildOutcome report = reports[next(reports.size())];
        const World world{{(options & 1) != 0, (options & 2) != 0},
                          evidence,
                          report,
                          writable,
                          tools[next(tools.size())],
                          afters[next(afters.size())]};
        const Trace run = Deploy(world);
        const bool toolRan = run.steps.find('T') != std::string::npos;
        const bool reportRan = run.steps.find('R') != std::string::npos;
        const bool leftAlone = reportRan && !toolRan && !world.options.declineStops &&
                               (report.EndedWith(1) || report.EndedWith(4));
        ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 3) << i << " " << run.steps;
        ASSERT_TRUE(run.exitCode == 3 || run.lastAfter.EndedWith(0) || leftAlone) << i;
        ASSERT_FALSE(evidence && (toolRan || reportRan)) << i;
        ASSERT_FALSE(toolRan && !writable) << i;
    }
}

}  // namespace
