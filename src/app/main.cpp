#include "app/run.h"

int main() {
    const ssdprep::ProcessIdentity identity = ssdprep::InitializeProcess();
    static_cast<void>(identity);  // recorded; nothing in the run reads it
    return ssdprep::RunSsdPrep();
}
