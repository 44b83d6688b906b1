#include "app/run.h"

#include <memory>
#include <new>

#include "app/audit_mode.h"
#include "disk/layout.h"
#include "disk/solid_state.h"
#include "partition/notice.h"
#include "partition/script_text.h"

namespace ssdprep {

ProcessIdentity InitializeProcess() {
    AddCriticalErrorFlags();
    return ProcessIdentity{platform::GetOwnModuleHandle(), platform::GetProcessCommandLine(),
                           QueryApplicationTitle()};
}

int RunSsdPrep() {
    platform::PrintToStdout(kBannerPurpose);
    platform::PrintToStdout(kBannerDelete);
    platform::PrintToStdout(kBannerCreate);
    switch (DecideGates(IsAuditMode, IsSsdOnlyModel)) {
        case Verdict::NotAuditMode:
            platform::PrintToStdout(kNotAuditMode);
            return kExitDeclined;
        case Verdict::NotSsdOnly:
            platform::PrintToStdout(kNotSsdOnly);
            return kExitDeclined;
        case Verdict::WouldChange:
            break;
    }
    const std::unique_ptr<Disk> disk(new (std::nothrow) Disk(kTargetDrive));
    if (!disk) {
        return kExitNotCarriedOut;
    }
    // Passed on unexamined, -1 ("none") included: the delete script then
    // selects a partition that does not exist.
    const int hibernation = FindHibernationPartition(*disk);
    bool deleteStarted = false;
    const int deleted = disk->DeletePartition(hibernation, &deleteStarted);
    // Run back to back, the create script's tool can fail silently (noerr,
    // its result unread) and leave drive 0 with neither partition. After a
    // failed wait the first run's end is unknown: all the more reason to wait.
    if (deleteStarted) {
        platform::Pause(kDiskpartSettleMilliseconds);
    }
    const int created = disk->CreatePartition(kNewPartitionLabel, kNewPartitionFileSystem);
    return deleted != 0 && created != 0 ? kExitDone : kExitNotCarriedOut;
}

}  // namespace ssdprep
