#include "deploy/decision.h"

#include "common/text.h"

namespace ssdprep::deploy {
namespace {

constexpr char kRepair[] = "see \"Repairing and running again\" in the operator's guide";

Next Take(Step step) { return Next{step, kStop, ""}; }

Next Finish(int exitCode, std::string why) { return Next{Step::Finish, exitCode, std::move(why)}; }

// --after as its own step: a program that did not run or did not end is a
// stop whatever asked for it.
bool AfterFailed(const ChildOutcome& after) { return after.kind != ChildOutcome::Kind::Ended; }

// The report said the tool is not to run here.
Next WithoutTheTool(const Options& options, const Facts& facts) {
    const ChildOutcome& report = *facts.report;
    if (report.EndedWith(kReportDeclined)) {
        return options.declineStops
                   ? Finish(kStop,
                            "ssdprep.exe would decline this machine, and --decline-stops "
                            "makes that a stop")
                   : Finish(kGoOn, "ssdprep.exe would decline this machine: nothing to do here");
    }
    if (report.EndedWith(kReportNothingToDelete)) {
        if (facts.after.empty()) {
            return Take(Step::After);
        }
        const ChildOutcome& after = facts.after.front();
        if (after.EndedWith(kAfterDone)) {
            return Finish(kGoOn,
                          "already done: drive 0 has no hibernation partition and a "
                          "TEMP_PART01 volume");
        }
        if (AfterFailed(after)) {
            return Finish(kStop, "ssdprep-inspect.exe --after " + Describe(after));
        }
        const std::string why =
            "drive 0 has no hibernation partition ssdprep.exe can find, and is not done: a GPT "
            "disk, a layout it cannot read, or none at all";
        return options.declineStops ? Finish(kStop, why + " (--decline-stops)")
                                    : Finish(kGoOn, why + "; ssdprep.exe was not started");
    }
    if (report.EndedWith(kReportWouldHalfChange)) {
        return Finish(kStop, "the tool would leave drive 0 half changed; it was not started");
    }
    if (report.EndedWith(kReportWouldStop)) {
        return Finish(kStop,
                      "the report says ssdprep.exe could not carry out its partition "
                      "steps here; it was not started");
    }
    return Finish(kStop, "ssdprep-inspect.exe " + Describe(report) +
                             ", which is no answer of the report; ssdprep.exe was not started");
}

}  // namespace

std::string CodeText(std::uint32_t code) {
    return Decimal(static_cast<std::int32_t>(code)) + " (0x" + Hex(code, 8) + ")";
}

std::string Describe(const ChildOutcome& outcome) {
    switch (outcome.kind) {
        case ChildOutcome::Kind::NotStarted:
            return "could not be started";
        case ChildOutcome::Kind::TimedOut:
            return "did not end in time and was ended";
        case ChildOutcome::Kind::Ended:
            break;
    }
    return "ended with exit code " + CodeText(static_cast<std::uint32_t>(outcome.exitCode));
}

Next DecideNext(const Options& options, const Facts& facts) {
    // Evidence of an earlier run: the tool is never started again, and
    // only --after tells whether that run did its job.
    if (facts.evidence) {
        if (facts.after.empty()) {
            return Take(Step::After);
        }
        const ChildOutcome& after = facts.after.front();
        // A run that ended done on this very disk stays done: what a
        // technician changed since is no sign that it did not finish.
        if (facts.doneHere) {
            return Finish(kGoOn, "done by an earlier run at " + *facts.doneHere +
                                     (after.EndedWith(kAfterDone)
                                          ? std::string()
                                          : "; ssdprep-inspect.exe --after " + Describe(after) +
                                                " now: drive 0 changed since, see its lines"));
        }
        return after.EndedWith(kAfterDone)
                   ? Finish(kGoOn, "already done by an earlier run")
                   : Finish(kStop, "an earlier run did not finish: ssdprep-inspect.exe --after " +
                                       Describe(after) + "; " + kRepair);
    }
    if (!facts.report) {
        return Take(Step::Report);
    }
    const bool runTool =
        facts.report->EndedWith(kReportWouldChange) ||
        (facts.report->EndedWith(kReportNothingToDelete) && options.createWithoutHibernation);
    if (!runTool) {
        return WithoutTheTool(options, facts);
    }
    if (!facts.stateWritten) {
        return Take(Step::WriteState);
    }
    if (!*facts.stateWritten) {
        return Finish(kStop,
                      "the state file or the record could not be written; ssdprep.exe was not "
                      "started");
    }
    if (!facts.tool) {
        return Take(Step::RunTool);
    }
    if (!facts.tool->EndedWith(0)) {
        return Finish(kStop, "ssdprep.exe " + Describe(*facts.tool) + "; " + kRepair);
    }
    if (facts.after.empty()) {
        return Take(Step::After);
    }
    const ChildOutcome& after = facts.after.back();
    if (after.EndedWith(kAfterDone)) {
        return Finish(kGoOn,
                      "done: drive 0 has no hibernation partition and a TEMP_PART01 "
                      "volume");
    }
    if (after.EndedWith(kAfterNotDone) && facts.sinceToolEnded < kDiskpartSettleMilliseconds) {
        return Take(Step::PollAfter);
    }
    return Finish(kStop, "ssdprep.exe ran, but ssdprep-inspect.exe --after " + Describe(after) +
                             ": drive 0 is not as it should be; " + kRepair);
}

Next DecideForget(const Facts& facts) {
    constexpr char kKept[] =
        "; nothing was removed: forgetting it would let the next run pass a "
        "half-changed drive 0; ";
    if (facts.unfinished) {
        return Finish(kStop, std::string("--forget: a run started on this disk and did not end "
                                         "done") +
                                 kKept + kRepair);
    }
    if (facts.evidence && !facts.doneHere) {
        if (facts.after.empty()) {
            return Take(Step::After);
        }
        if (!facts.after.front().EndedWith(kAfterDone)) {
            return Finish(kStop,
                          "--forget: no run is recorded done on this disk, and "
                          "ssdprep-inspect.exe --after " +
                              Describe(facts.after.front()) + kKept + kRepair);
        }
    }
    if (!facts.removed) {
        return Take(Step::Remove);
    }
    return *facts.removed
               ? Finish(kGoOn,
                        "forgotten: no state file, script of the tool or record is left; "
                        "the image may be captured")
               : Finish(kStop,
                        "--forget could not remove everything (see the lines above); "
                        "remove the rest by hand before the image is captured");
}

}  // namespace ssdprep::deploy
