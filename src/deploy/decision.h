// ssdprep-deploy's decisions over plain values: from what the earlier steps
// found, the next step to take, or the exit code and why. Every path ends in
// 0 (set-up may go on) or 3 (stop set-up).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "partition/script_text.h"

namespace ssdprep::deploy {

inline constexpr int kGoOn = 0;
inline constexpr int kStop = 3;

// The report's exit codes, as ssdprep-inspect.exe documents them.
inline constexpr std::int32_t kReportWouldChange = 0;
inline constexpr std::int32_t kReportDeclined = 1;
inline constexpr std::int32_t kReportWouldStop = 3;
inline constexpr std::int32_t kReportNothingToDelete = 4;
inline constexpr std::int32_t kReportWouldHalfChange = 5;
// --after: 0 done, 1 not done.
inline constexpr std::int32_t kAfterDone = 0;
inline constexpr std::int32_t kAfterNotDone = 1;

// A new volume can be mounted late, and Microsoft asks for 15 seconds
// between runs of the partitioning tool: --after is asked again every 3
// seconds while it says 1, until kDiskpartSettleMilliseconds have passed
// since the tool ended.
inline constexpr std::uint32_t kPollMilliseconds = 3000;

struct Options {
    bool declineStops = false;
    bool createWithoutHibernation = false;
    bool forget = false;
};

// How a child program went.
struct ChildOutcome {
    enum class Kind { Ended, NotStarted, TimedOut };
    Kind kind = Kind::NotStarted;
    std::int32_t exitCode = 0;  // when it ended
    [[nodiscard]] bool EndedWith(std::int32_t code) const {
        return kind == Kind::Ended && exitCode == code;
    }
};

// What the steps so far found, in the order they are taken.
struct Facts {
    bool evidence = false;  // an earlier run left its trace
    // The state file or the record says "done" and names drive 0: when.
    std::optional<std::string> doneHere;
    // The state file or the record counts and does not say "done".
    bool unfinished = false;
    std::optional<bool> removed;         // --forget: everything of a run is gone
    std::optional<ChildOutcome> report;  // the report
    std::optional<bool> stateWritten;    // the state file, "started"
    std::optional<ChildOutcome> tool;    // ssdprep.exe
    std::vector<ChildOutcome> after;     // every --after, in order
    std::uint32_t sinceToolEnded = 0;    // milliseconds, when the last --after ended
};

enum class Step {
    Report,      // ssdprep-inspect.exe
    WriteState,  // the state file, "started", before the tool
    RunTool,     // ssdprep.exe
    After,       // ssdprep-inspect.exe --after
    PollAfter,   // wait kPollMilliseconds, then --after again
    Remove,      // --forget: the state file, the tool's scripts and the record
    Finish,
};

struct Next {
    Step step = Step::Finish;
    int exitCode = kStop;  // with Step::Finish
    std::string why;       // with Step::Finish
};

Next DecideNext(const Options& options, const Facts& facts);
// --forget: the clean-up before an image is captured. It removes nothing
// where a run started on this disk and did not finish, nor, unless a run is
// recorded done on this disk, where --after does not find drive 0 done.
Next DecideForget(const Facts& facts);

// Runs the decisions to their end: `take(step, facts)` takes each step and
// records what it found in `facts`.
template <typename Take>
Next RunSteps(const Options& options, Facts& facts, Take take) {
    for (;;) {
        Next next = options.forget ? DecideForget(facts) : DecideNext(options, facts);
        if (next.step == Step::Finish) {
            return next;
        }
        take(next.step, facts);
    }
}

// A code as the log writes it: "-1073741819 (0xC0000005)".
std::string CodeText(std::uint32_t code);
// How a child's end reads in the log: "ended with exit code 3 (0x00000003)",
// "could not be started", "did not end in time and was ended".
std::string Describe(const ChildOutcome& outcome);

}  // namespace ssdprep::deploy
