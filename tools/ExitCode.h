#pragma once

// The command's exit statuses.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // a file or the sound device failed; the others were still done
    kExitUsage = 2,    // bad arguments: nothing was done
};
